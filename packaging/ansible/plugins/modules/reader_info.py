# -*- coding: utf-8 -*-

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r'''
module: reader_info
short_description: Read a Varo Series reader's firmware, clock and memory counts
description:
  - Reads the firmware identification, the reader time (and its offset from the clock of the
    host the task runs on) and the memory usage of one reader.
  - Never changes the reader; C(changed) is always false, in check mode too.
version_added: 1.0.0
author: Varo Utility developers (@ostrel)
extends_documentation_fragment: ostrel.varo.common
'''

EXAMPLES = r'''
- name: Read every reader
  ostrel.varo.reader_info:
    target: "tcp:{{ ansible_host }}:5757"
  register: reader
  delegate_to: localhost

- name: Readers whose clock is off by more than a minute
  ansible.builtin.debug:
    msg: "{{ inventory_hostname }} is {{ reader.clock_offset_seconds }} s off"
  when: (reader.clock_offset_seconds | default(0, true) | float | abs) > 60
'''

RETURN = r'''
target:
  description: The reader, as given.
  returned: always
  type: str
  sample: tcp:10.0.0.7:5757
status:
  description: The reader's outcome, C(ok) (done, reader unchanged), C(changed) (done and the
    reader changed, or would in check mode), C(unreachable) (no connection), C(failed),
    C(skipped) or C(interrupted).
  returned: always
  type: str
  sample: ok
reason:
  description: Why it failed, C(ok) when it did not; C(unreachable), C(timeout),
    C(wrong-reply), C(refused), C(link), C(file), C(interrupted), C(input) (refused before
    anything was sent), C(tool) (varo-cli gave no report).
  returned: always
  type: str
  sample: timeout
step:
  description: The step that failed (C(connect), C(firmware identification), C(reader time),
    C(memory usage), C(program), ...); empty on success.
  returned: always
  type: str
  sample: firmware identification
message:
  description: varo-cli's message for the reader.
  returned: when varo-cli ran
  type: str
  sample: "VARO V2.31; time 10/03/05 14:02:33; memory 5 used of 32000, 0 uploaded"
seconds:
  description: How long the operation took.
  returned: when varo-cli ran
  type: float
  sample: 0.42
data:
  description: The operation's values as varo-cli reported them (camelCase keys).
  returned: when varo-cli ran
  type: dict
  sample: {"firmwareId": "VARO V2.31"}
check:
  description: Whether this was a dry run that sent nothing that changes the reader.
  returned: when varo-cli ran
  type: bool
  sample: false
firmware_id:
  description: The firmware identification.
  returned: success
  type: str
  sample: VARO V2.31
reader_time:
  description: The reader time as the reader shows it.
  returned: success
  type: str
  sample: "2010-03-05 14:02:33"
reader_time_iso:
  description: The reader time, C(YYYY-MM-DDTHH:MM:SS); null when varo-cli does not report it.
  returned: success
  type: str
  sample: "2010-03-05T14:02:33"
clock_offset_seconds:
  description: The reader time minus the host's, in seconds; null when varo-cli does not report
    it.
  returned: success
  type: float
  sample: -3.0
total_slots:
  description: Memory slots for stored transactions.
  returned: success
  type: int
  sample: 32000
used:
  description: Slots in use.
  returned: success
  type: int
  sample: 5
uploaded:
  description: Slots already uploaded.
  returned: success
  type: int
  sample: 0
'''

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.ostrel.varo.plugins.module_utils.varo import (
    VaroRunner, argument_spec, snake)

ARGUMENT_SPEC = argument_spec()


def main():
    module = AnsibleModule(argument_spec=ARGUMENT_SPEC, supports_check_mode=True)
    runner = VaroRunner(module)
    # Reading changes nothing, so check mode runs it as usual.
    result = runner.run('info', check=False, default_changed=lambda data: False)
    runner.finish(result, **snake(result.data, 'firmwareId', 'readerTime', 'readerTimeIso',
                                  'clockOffsetSeconds', 'totalSlots', 'used', 'uploaded'))


if __name__ == '__main__':
    main()
