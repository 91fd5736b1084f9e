# -*- coding: utf-8 -*-
# Writes every task result of a playbook run as JSON, for the tests to read instead of the
# screen text.

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r'''
name: varo_results
type: aggregate
short_description: Every task result as one JSON file
description:
  - Writes a list of results (play, task, host, outcome, the module's return values) to the
    file named by the environment variable VARO_RESULTS_FILE when the run ends.
requirements:
  - enabled in the configuration (callbacks_enabled)
'''

import json
import os

from ansible.plugins.callback import CallbackBase


class CallbackModule(CallbackBase):
    CALLBACK_VERSION = 2.0
    CALLBACK_TYPE = 'aggregate'
    CALLBACK_NAME = 'varo_results'
    CALLBACK_NEEDS_ENABLED = True

    def __init__(self):
        super(CallbackModule, self).__init__()
        self._play = ''
        self._results = []

    def v2_playbook_on_play_start(self, play):
        self._play = play.get_name()

    def _record(self, result, outcome, ignored=False):
        values = dict(result._result)
        values.pop('invocation', None)
        self._results.append(dict(play=self._play, task=result._task.get_name(),
                                  action=result._task.action,
                                  host=result._host.get_name(), outcome=outcome,
                                  ignored=ignored, result=values))

    def v2_runner_on_ok(self, result):
        self._record(result, 'changed' if result._result.get('changed') else 'ok')

    def v2_runner_on_failed(self, result, ignore_errors=False):
        self._record(result, 'failed', ignore_errors)

    def v2_runner_on_skipped(self, result):
        self._record(result, 'skipped')

    def v2_runner_on_unreachable(self, result):
        self._record(result, 'unreachable')

    def v2_playbook_on_stats(self, stats):
        path = os.environ.get('VARO_RESULTS_FILE')
        if path:
            with open(path, 'w') as stream:
                json.dump(self._results, stream, indent=1, sort_keys=True, default=str)
