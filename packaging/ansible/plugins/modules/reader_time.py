# -*- coding: utf-8 -*-

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r'''
module: reader_time
short_description: Set a Varo Series reader's clock to the host's
description:
  - Sets the reader clock to the clock of the host the task runs on, moved by C(hours).
  - With C(max_drift) the reader clock is read first and set only when it is off by more than
    that many seconds, so a second run reports C(changed=false).
  - In diff mode the diff shows the reader time before and after.
  - In check mode the reader clock is read and nothing is set.
version_added: 1.0.0
author: Varo Utility developers (@ostrel)
extends_documentation_fragment: ostrel.varo.common
options:
  max_drift:
    description:
      - Set the clock only when the reader is off by more than this many seconds.
      - Without it the clock is always set.
    type: float
  hours:
    description:
      - Hours added to the host's time (negative subtracts), for a reader in another zone.
    type: int
    default: 0
'''

EXAMPLES = r'''
- name: Keep the reader clocks within 2 seconds
  ostrel.varo.reader_time:
    target: "tcp:{{ ansible_host }}:5757"
    max_drift: 2
  delegate_to: localhost

- name: A reader one hour behind the site host
  ostrel.varo.reader_time:
    target: serial:/dev/ttyUSB0
    hours: -1
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
reader_time_before:
  description: The reader time before, C(YYYY-MM-DDTHH:MM:SS).
  returned: when the reader clock was read
  type: str
  sample: "2010-03-05T14:02:33"
drift_seconds:
  description: The reader time minus the wanted time, before, in seconds.
  returned: when the reader clock was read
  type: float
  sample: -317.0
time_set:
  description: The time the reader clock was set to, C(YYYY-MM-DDTHH:MM:SS).
  returned: when the clock was set
  type: str
  sample: "2026-12-08T14:02:33"
'''

import datetime

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.ostrel.varo.plugins.module_utils.varo import (
    VaroRunner, argument_spec, snake)

ARGUMENT_SPEC = argument_spec(
    max_drift=dict(type='float'),
    hours=dict(type='int', default=0),
)


def number_text(value):
    return '%g' % value


def main():
    module = AnsibleModule(argument_spec=ARGUMENT_SPEC, supports_check_mode=True)
    runner = VaroRunner(module)
    params = module.params
    if params['max_drift'] is not None and params['max_drift'] < 0:
        runner.fail_input('max_drift must not be negative')
    command_options = []
    if params['hours']:
        command_options += ['--hours', str(params['hours'])]
    if params['max_drift'] is not None:
        command_options += ['--max-drift', number_text(params['max_drift'])]
    result = runner.run('set-time', command_options)
    values = snake(result.data, 'readerTimeBefore', 'driftSeconds', 'timeSet')

    diff = None
    before = values['reader_time_before']
    if before:
        after = values['time_set']
        if not after and result.changed:
            # Check mode: the time it would set.
            wanted = datetime.datetime.now() + datetime.timedelta(hours=params['hours'])
            after = wanted.strftime('%Y-%m-%dT%H:%M:%S')
        diff = dict(before_header='%s reader time' % result.target,
                    after_header='%s reader time' % result.target,
                    before='%s\n' % before, after='%s\n' % (after or before))
    runner.finish(result, diff=diff, **values)


if __name__ == '__main__':
    main()
