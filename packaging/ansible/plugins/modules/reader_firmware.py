# -*- coding: utf-8 -*-

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r'''
module: reader_firmware
short_description: Download a firmware image into a Varo Series reader
description:
  - Downloads a firmware image into one reader. Serial readers run it at 9600 baud.
  - With C(skip_if_version) the firmware identification is read first; when it contains that
    text the reader is left alone and the task reports C(changed=false).
  - In check mode the image is checked and the firmware identification read; nothing is sent
    that changes the reader.
version_added: 1.0.0
author: Varo Utility developers (@ostrel)
extends_documentation_fragment: ostrel.varo.common
options:
  image:
    description:
      - The firmware image on the host the task runs on.
    type: path
    required: true
  boot2:
    description:
      - Download the bootloader extension.
    type: bool
    default: false
  skip_if_version:
    description:
      - Leave a reader alone whose firmware identification contains this text.
    type: str
  force:
    description:
      - Download even when C(skip_if_version) matches (C(skip_if_version) is then ignored), for
        example to repair a reader from the command line with C(-e force=true).
    type: bool
    default: false
'''

EXAMPLES = r'''
- name: Roll out V2.31, one reader first, stop at the first failure
  hosts: readers
  serial: [1, "10%", "100%"]
  max_fail_percentage: 0
  gather_facts: false
  tasks:
    - name: Firmware V2.31
      ostrel.varo.reader_firmware:
        target: "tcp:{{ ansible_host }}:5757"
        image: /srv/varo/firmware-2.31.hex
        skip_if_version: V2.31
      delegate_to: localhost
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
  description: The firmware identification read before the download.
  returned: when it was read
  type: str
  sample: VARO V2.30
bytes_sent:
  description: Data bytes the reader acknowledged.
  returned: when varo-cli ran
  type: int
  sample: 32000
bytes_total:
  description: Data bytes of the image.
  returned: when varo-cli ran
  type: int
  sample: 32000
'''

import os

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.ostrel.varo.plugins.module_utils.varo import (
    VaroRunner, argument_spec, snake)

ARGUMENT_SPEC = argument_spec(
    image=dict(type='path', required=True),
    boot2=dict(type='bool', default=False),
    skip_if_version=dict(type='str'),
    force=dict(type='bool', default=False),
)


def main():
    module = AnsibleModule(argument_spec=ARGUMENT_SPEC, supports_check_mode=True)
    runner = VaroRunner(module)
    params = module.params
    image = os.path.abspath(params['image'])
    if not os.path.isfile(image):
        runner.fail_input('image: no such file: %s' % image)
    command_options = [image]
    if params['boot2']:
        command_options.append('--boot2')
    if params['skip_if_version'] and not params['force']:
        command_options += ['--skip-if-version', params['skip_if_version']]
    result = runner.run('flash', command_options)
    runner.finish(result, **snake(result.data, 'firmwareId', 'bytesSent', 'bytesTotal'))


if __name__ == '__main__':
    main()
