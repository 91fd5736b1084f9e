# -*- coding: utf-8 -*-

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r'''
module: reader_command
short_description: Reset, restart, switch the mode of or clear a Varo Series reader
description:
  - Sends one maintenance command to one reader. Each one changes the reader, so a run that
    sent it reports C(changed).
  - C(clear_memory) reads the memory counts first and refuses while the reader holds records
    not yet uploaded, unless C(force).
  - In check mode the reader is reached (and for C(clear_memory) the counts read, with the
    refusal) and nothing is sent that changes it.
version_added: 1.0.0
author: Varo Utility developers (@ostrel)
extends_documentation_fragment: ostrel.varo.common
options:
  command:
    description:
      - C(reset), C(restart), C(mode) (with C(mode)) or C(clear_memory) (erase the stored
        transactions).
    type: str
    required: true
    choices: [reset, restart, mode, clear_memory]
  mode:
    description:
      - The operating mode for C(command=mode).
    type: str
    choices: [collection, online, prox-dump]
  expect_reply:
    description:
      - For C(command=mode), the reply the reader must give; any other reply fails the task
        with reason C(wrong-reply).
    type: str
  force:
    description:
      - For C(command=clear_memory), erase records that were never uploaded.
    type: bool
    default: false
'''

EXAMPLES = r'''
- name: Collection mode
  ostrel.varo.reader_command:
    target: "tcp:{{ ansible_host }}:5757"
    command: mode
    mode: collection
  delegate_to: localhost

- name: Clear the memory after the upload (refused while records were not uploaded)
  ostrel.varo.reader_command:
    target: serial:/dev/ttyUSB0
    command: clear_memory
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
reply:
  description: The reader's reply to C(mode).
  returned: when varo-cli reports it
  type: str
  sample: OK
total_slots:
  description: Memory slots, read before C(clear_memory).
  returned: when varo-cli reports it
  type: int
  sample: 32000
used:
  description: Slots in use, read before C(clear_memory).
  returned: when varo-cli reports it
  type: int
  sample: 5
uploaded:
  description: Slots uploaded, read before C(clear_memory).
  returned: when varo-cli reports it
  type: int
  sample: 5
'''

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.ostrel.varo.plugins.module_utils.varo import (
    VaroRunner, argument_spec, snake)

ARGUMENT_SPEC = argument_spec(
    command=dict(type='str', required=True, choices=['reset', 'restart', 'mode', 'clear_memory']),
    mode=dict(type='str', choices=['collection', 'online', 'prox-dump']),
    expect_reply=dict(type='str'),
    force=dict(type='bool', default=False),
)


def main():
    module = AnsibleModule(argument_spec=ARGUMENT_SPEC, supports_check_mode=True,
                           required_if=[('command', 'mode', ['mode'])])
    runner = VaroRunner(module)
    params = module.params
    command = params['command']
    if params['mode'] is not None and command != 'mode':
        runner.fail_input('mode is an option of command=mode only')
    if params['expect_reply'] is not None and command != 'mode':
        runner.fail_input('expect_reply is an option of command=mode only')
    if params['force'] and command != 'clear_memory':
        runner.fail_input('force is an option of command=clear_memory only')
    global_options = []
    command_options = []
    if command == 'mode':
        command_options.append(params['mode'])
        if params['expect_reply'] is not None:
            global_options += ['--expect-reply', params['expect_reply']]
    elif command == 'clear_memory':
        command_options.append('--yes')
        if params['force']:
            command_options.append('--force')
    result = runner.run(command.replace('_', '-'), command_options, global_options)
    runner.finish(result, **snake(result.data, 'reply', 'totalSlots', 'used', 'uploaded'))


if __name__ == '__main__':
    main()
