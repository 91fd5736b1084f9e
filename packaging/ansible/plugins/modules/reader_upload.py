# -*- coding: utf-8 -*-

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r'''
module: reader_upload
short_description: Upload the stored transactions of a Varo Series reader
description:
  - Reads the stored transactions of one reader into a new file in a folder on the host the
    task runs on. The file is named after the reader and the start time (UTC), created only by
    this run, and readable only by its owner.
  - C(changed) is true when at least one record was read.
  - The records stay in the reader; clear them with M(ostrel.varo.reader_command).
  - In check mode the reader is reached and nothing is read or written.
version_added: 1.0.0
author: Varo Utility developers (@ostrel)
extends_documentation_fragment: ostrel.varo.common
options:
  dest:
    description:
      - An existing folder on the host the task runs on.
    type: path
    required: true
'''

EXAMPLES = r'''
- name: A folder per site
  ansible.builtin.file:
    path: /var/lib/varo/uploads
    state: directory
    mode: "0700"

- name: Collect the transactions
  ostrel.varo.reader_upload:
    target: serial:/dev/ttyUSB0
    dest: /var/lib/varo/uploads
  register: upload

- name: Bring them to the controller
  ansible.builtin.fetch:
    src: "{{ upload.file }}"
    dest: uploads/
  when: upload.changed
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
file:
  description: The file written, also after a failure part way (it keeps the records read).
  returned: when a file was written
  type: str
  sample: /var/lib/varo/uploads/tcp_10.0.0.7_5757_20261208T141500Z.txt
records:
  description: Records written to the file.
  returned: when varo-cli ran
  type: int
  sample: 5
'''

import os

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.ostrel.varo.plugins.module_utils.varo import (
    VaroRunner, argument_spec, snake)

ARGUMENT_SPEC = argument_spec(
    dest=dict(type='path', required=True),
)


def main():
    module = AnsibleModule(argument_spec=ARGUMENT_SPEC, supports_check_mode=True)
    runner = VaroRunner(module)
    dest = os.path.abspath(module.params['dest'])
    if not os.path.isdir(dest):
        runner.fail_input('dest: not a folder: %s' % dest)
    result = runner.run('upload', ['--out', dest],
                        default_changed=lambda data: (data.get('records') or 0) > 0)
    runner.finish(result, **snake(result.data, 'file', 'records'))


if __name__ == '__main__':
    main()
