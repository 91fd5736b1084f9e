# -*- coding: utf-8 -*-

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r'''
module: reader_program
short_description: Program a Varo Series reader with a profile
description:
  - Checks a reader profile, then runs the programming run on one reader.
  - The profile is a file on the host the task runs on (C(profile)), or a dictionary
    (C(profile_options)) that the module writes to a private temporary file and removes.
    Without either, the reader gets the default options.
  - A reader cannot be read back, so a run that programmed the reader always reports
    C(changed); a second run programs the reader again.
  - In check mode the profile is checked and the reader is reached (its firmware identification
    read), and nothing is sent that changes it.
version_added: 1.0.0
author: Varo Utility developers (@ostrel)
extends_documentation_fragment: ostrel.varo.common
options:
  profile:
    description:
      - A reader profile (JSON) on the host the task runs on.
    type: path
  profile_options:
    description:
      - A reader profile as a dictionary, with the sections C(general), C(wiegand) and
        C(barcode) of a profile file. C(format) and C(version) are added when missing.
      - Keys left out keep their default values.
    type: dict
  expect_reply:
    description:
      - The reply every programming command must get; any other reply fails the task with
        reason C(wrong-reply).
    type: str
  allow_unknown_keys:
    description:
      - Accept profile keys this version does not know (they are ignored and listed in
        C(unknown_keys)) instead of refusing the profile.
    type: bool
    default: false
'''

EXAMPLES = r'''
- name: Program the door readers from the site profile
  ostrel.varo.reader_program:
    target: "tcp:{{ ansible_host }}:5757"
    profile: /etc/varo/door.json
  delegate_to: localhost

- name: Program with options from the inventory, every command answered OK
  ostrel.varo.reader_program:
    target: serial:/dev/ttyUSB0
    profile_options:
      general:
        prox.goodReadBeep: 0
    expect_reply: OK
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
replies:
  description: Each programming command and the reader's reply.
  returned: when varo-cli reports them
  type: list
  elements: dict
  sample: [{"command": "X001", "reply": "OK"}]
reply_summary:
  description: How often each reply came.
  returned: when varo-cli reports them
  type: dict
  sample: {"OK": 47}
warnings_found:
  description: Warnings of the profile checks (they do not stop the run).
  returned: when varo-cli reports them
  type: list
  elements: str
  sample: []
missing_keys:
  description: Profile keys missing from the profile (they kept their default values).
  returned: when varo-cli reports them
  type: list
  elements: str
  sample: []
unknown_keys:
  description: Profile keys this version does not know.
  returned: when varo-cli reports them
  type: list
  elements: str
  sample: []
'''

import json
import os
import tempfile

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.ostrel.varo.plugins.module_utils.varo import (
    VaroRunner, argument_spec, snake)

ARGUMENT_SPEC = argument_spec(
    profile=dict(type='path'),
    profile_options=dict(type='dict'),
    expect_reply=dict(type='str'),
    allow_unknown_keys=dict(type='bool', default=False),
)

PROFILE_HEADER = {'format': 'varo-reader-profile', 'version': 1}


def write_profile(module, options):
    """Writes the dictionary as a profile file only this user can read; returns its path."""
    profile = dict(PROFILE_HEADER)
    profile.update(options)
    handle, path = tempfile.mkstemp(prefix='varo-profile-', suffix='.json', dir=module.tmpdir)
    with os.fdopen(handle, 'w') as stream:
        json.dump(profile, stream, indent=2, sort_keys=True)
    return path


def main():
    module = AnsibleModule(argument_spec=ARGUMENT_SPEC, supports_check_mode=True,
                           mutually_exclusive=[('profile', 'profile_options')])
    runner = VaroRunner(module)
    params = module.params
    global_options = []
    if params['expect_reply'] is not None:
        global_options += ['--expect-reply', params['expect_reply']]
    if params['allow_unknown_keys']:
        global_options.append('--allow-unknown-keys')

    written = None
    profile = params['profile']
    if params['profile_options'] is not None:
        profile = written = write_profile(module, params['profile_options'])
        runner.aliases[written] = 'profile_options'
    elif profile is not None:
        profile = os.path.abspath(profile)
        if not os.path.isfile(profile):
            runner.fail_input('profile: no such file: %s' % profile)
    try:
        command_options = ['--profile', profile] if profile else []
        result = runner.run('program', command_options, global_options)
    finally:
        if written:
            os.remove(written)
    values = snake(result.data, 'replies', 'replySummary', 'missingKeys', 'unknownKeys')
    # "warnings" is taken by Ansible's own warnings.
    values['warnings_found'] = result.data.get('warnings')
    runner.finish(result, **values)


if __name__ == '__main__':
    main()
