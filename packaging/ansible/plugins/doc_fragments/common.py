# -*- coding: utf-8 -*-
# Options and notes that every ostrel.varo module shares.

from __future__ import absolute_import, division, print_function

__metaclass__ = type


class ModuleDocFragment(object):

    DOCUMENTATION = r'''
options:
  target:
    description:
      - The reader, in varo-cli target syntax, as seen from the host the task runs on.
      - C(tcp:HOST:PORT) for a reader behind a TCP converter (C(tcp:[ADDRESS]:PORT) for IPv6),
        C(serial:DEVICE[@BAUD]) such as C(serial:/dev/ttyUSB0@9600), or C(serial:N[@BAUD])
        with N the port number 1 to 8.
    type: str
    required: true
  varo_cli:
    description:
      - The varo-cli executable on the host the task runs on; a name is looked up in the path.
    type: str
    default: varo-cli
notes:
  - Runs C(varo-cli) of the Varo Utility package on the host where the task runs, for one
    reader, and reads its JSON report. Install the package there (the controller for readers
    reached from it, the site host for serial readers behind it).
  - Every failure names the step that failed (C(connect), C(firmware identification), ...) in
    C(msg) and C(step), and the reason in C(reason); a playbook can retry only the readers
    whose reason is C(unreachable).
'''
