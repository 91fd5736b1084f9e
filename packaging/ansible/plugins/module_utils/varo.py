# -*- coding: utf-8 -*-
# Shared code of the ostrel.varo modules: runs varo-cli for one target with a JSON report and
# turns its result into the module's return values.

from __future__ import absolute_import, division, print_function

__metaclass__ = type

import json

# Options every module takes; plugins/doc_fragments/common.py documents them.
COMMON_ARGUMENT_SPEC = dict(
    target=dict(type='str', required=True),
    varo_cli=dict(type='str', default='varo-cli'),
)

# Statuses of a target that end the task well; every other one fails it.
SUCCESS_STATUSES = ('ok', 'changed')


def argument_spec(**module_options):
    """The common options plus the module's own."""
    options = dict(COMMON_ARGUMENT_SPEC)
    options.update(module_options)
    return options


class VaroResult(object):
    """One target's result from the varo-cli JSON report."""

    def __init__(self, result, check, default_changed):
        self.raw = result
        self.target = result.get('target', '')
        self.ok = bool(result.get('ok'))
        self.exit = result.get('exit') or ('ok' if self.ok else 'failed')
        self.message = result.get('message') or ''
        self.seconds = result.get('seconds')
        self.data = result.get('data') or {}
        self.check = check
        self.step = result.get('step')
        if self.step is None and not self.ok and ':' in self.message:
            # A report without the step field names it at the front of the message.
            self.step = self.message.split(':', 1)[0].strip()
        self.step = self.step or ''
        status = result.get('status')
        if not status:
            # A report without per-target status: success counts as the module's usual
            # outcome, a failure on connecting as unreachable.
            if self.ok:
                status = 'changed' if default_changed(self.data) else 'ok'
            else:
                status = 'unreachable' if self.step == 'connect' else 'failed'
        self.status = status

    @property
    def succeeded(self):
        return self.status in SUCCESS_STATUSES

    @property
    def changed(self):
        return self.status == 'changed'

    @property
    def reason(self):
        """What a playbook branches on: unreachable, timeout, wrong-reply, refused, ..."""
        if self.status == 'unreachable':
            return 'unreachable'
        if self.status in SUCCESS_STATUSES:
            return 'ok'
        return self.exit

    def failure_message(self):
        if self.step and not self.message.startswith(self.step + ':'):
            text = '%s: %s' % (self.step, self.message)
        else:
            text = self.message
        return '%s %s' % (self.target, text or self.status)

    def return_values(self):
        return dict(target=self.target, status=self.status, reason=self.reason, step=self.step,
                    message=self.message, seconds=self.seconds, data=self.data,
                    check=self.check)


class VaroRunner(object):
    """Runs varo-cli for the module's target and ends the module with the outcome."""

    def __init__(self, module):
        self.module = module
        self.cli = module.params['varo_cli']
        # Paths the user never saw (a temporary profile) and the option they came from.
        self.aliases = {}
        if '/' not in self.cli:
            self.cli = module.get_bin_path(self.cli, required=True)

    def fail_input(self, message, **extra):
        """Fails the task before anything was sent to the reader."""
        for path, option in self.aliases.items():
            message = message.replace(path, option)
        self.module.fail_json(msg=message, target=self.module.params['target'], status='failed',
                              reason='input', step='input', **extra)

    def run(self, command, command_options=(), global_options=(), check=None,
            default_changed=lambda data: True):
        """Runs `varo-cli --json [--check] GLOBAL COMMAND OPTIONS -- TARGET` and returns its
        VaroResult; fails the task when varo-cli refused the input or printed no report.

        `check` defaults to the task's check mode; `default_changed(data)` decides a success's
        status when the report has no status field.
        """
        if check is None:
            check = self.module.check_mode
        argv = [self.cli, '--json']
        if check:
            argv.append('--check')
        argv += list(global_options) + [command] + list(command_options)
        # "--" ends the options, so a target can never be read as one.
        argv += ['--', self.module.params['target']]
        rc, out, err = self.module.run_command(argv)
        if rc == 2:
            self.fail_input('varo-cli refused the input: %s' % (err.strip() or out.strip()),
                            rc=rc, cmd=argv)
        try:
            report = json.loads(out)
        except ValueError:
            self.module.fail_json(msg='varo-cli printed no JSON report (exit %d): %s'
                                  % (rc, err.strip()), target=self.module.params['target'],
                                  status='failed', reason='tool', step='report', rc=rc,
                                  cmd=argv, stderr=err)
        results = report.get('results') if isinstance(report, dict) else None
        if not isinstance(results, list) or len(results) != 1:
            self.module.fail_json(msg='varo-cli reported %s results for one target'
                                  % (len(results) if isinstance(results, list) else 'no'),
                                  target=self.module.params['target'], status='failed',
                                  reason='tool', step='report', rc=rc, cmd=argv)
        return VaroResult(results[0], check, default_changed)

    def finish(self, result, diff=None, **values):
        """Ends the task: changed only when the reader changed (or would, in check mode);
        failed with the step and the reason otherwise."""
        returned = result.return_values()
        returned.update(values)
        if diff is not None and self.module._diff:
            returned['diff'] = diff
        if result.succeeded:
            self.module.exit_json(changed=result.changed, **returned)
        self.module.fail_json(msg=result.failure_message(), changed=False, **returned)


def snake(data, *keys):
    """The report's camelCase keys as the module's snake_case return values (None when absent)."""
    values = {}
    for key in keys:
        name = ''.join('_' + c.lower() if c.isupper() else c for c in key)
        values[name] = data.get(key)
    return values
