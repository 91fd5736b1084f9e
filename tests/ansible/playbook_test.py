#!/usr/bin/python3
"""One ansible-playbook run of fleet.yml against simulated readers, then one check per case.

  playbook_test.py run --work DIR --sim VARO_SIM --cli VARO_CLI --collection SRC
  playbook_test.py check CASE --work DIR --cli VARO_CLI

`run` starts two simulator processes on 127.0.0.1, writes the inventory, runs the playbook once
(leaving out the plays of cases whose varo-cli options are missing) and keeps in DIR the results
(written by the varo_results callback), the simulators' reports and the log. `check` judges one
case from what `run` kept; it exits 77 (skipped) when the case needs varo-cli options that this
build does not have.
"""

import argparse
import ast
import json
import os
import signal
import stat
import subprocess
import sys

import yaml

HERE = os.path.dirname(os.path.abspath(__file__))
SKIP = 77

# The varo-cli options each case needs, as `varo-cli --help` shows them.
CASE_OPTIONS = {
    'info': [],
    'faulty': [],
    'program': [],
    'rollout': [],
    'expect_reply': ['--expect-reply'],
    'clock': ['--max-drift'],
    'upload': ['--overwrite'],
    'check_diff': ['--check'],
    'documented': [],
}

# Fleet A: readers 0, 1 and 4 answer, 2 is silent, 3 refuses connections.
FLEET_A = ['--readers', '5', '--faulty', '2,3:refuse']
# Inventory host -> reader of fleet A ("a") or B ("b").
HOSTS = {
    'info_readers': {'a0': ('a', 0), 'a1': ('a', 1), 'a2': ('a', 2), 'a3': ('a', 3)},
    'work_readers': {'c0': ('a', 0), 'c1': ('a', 1)},
    'check_readers': {'d0': ('b', 0)},
    # Batches of two: the first holds the silent reader, so the second never starts.
    'rollout_readers': {'r0': ('a', 4), 'r1': ('a', 2), 'r2': ('a', 0), 'r3': ('a', 1)},
}
# Codes a reader may receive when nothing changes it: identification, time, memory usage.
READ_ONLY_CODES = {'V', 't', 'z'}


def help_text(cli):
    return subprocess.run([cli, '--help'], stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                          universal_newlines=True).stdout


def missing_options(cli, case):
    text = help_text(cli)
    return [option for option in CASE_OPTIONS[case] if option not in text]


def start_sim(sim, arguments, report):
    process = subprocess.Popen([sim, '--tcp', '0', '--report', report] + arguments,
                               stdout=subprocess.PIPE, universal_newlines=True)
    count = int(arguments[arguments.index('--readers') + 1]) if '--readers' in arguments else 1
    ports = []
    while len(ports) < count:
        line = process.stdout.readline()
        if not line:
            raise RuntimeError('varo-sim ended before listening')
        if line.startswith('TCP '):
            ports.append(int(line.split()[2]))
    return process, ports


def stop_sim(process):
    process.send_signal(signal.SIGTERM)
    process.wait(timeout=30)


def collection_tree(work, collection):
    """A collections folder holding only this collection, for ANSIBLE_COLLECTIONS_PATH."""
    root = os.path.join(work, 'collections')
    link = os.path.join(root, 'ansible_collections', 'ostrel', 'varo')
    os.makedirs(os.path.dirname(link), exist_ok=True)
    if os.path.islink(link):
        os.remove(link)
    os.symlink(os.path.abspath(collection), link)
    return root


def write_image(path):
    # Six 50-byte blocks and the 44-byte trailer.
    with open(path, 'wb') as stream:
        stream.write(bytes(ord('A') + i % 26 for i in range(44 + 50 * 6)))


def run(args):
    work = os.path.abspath(args.work)
    os.makedirs(work, exist_ok=True)
    for name in os.listdir(work):
        path = os.path.join(work, name)
        if os.path.isfile(path) or os.path.islink(path):
            os.remove(path)
    uploads = os.path.join(work, 'uploads')
    check_uploads = os.path.join(work, 'check-uploads')
    for folder in (uploads, check_uploads):
        os.makedirs(folder, exist_ok=True)
        for name in os.listdir(folder):
            os.remove(os.path.join(folder, name))
    image = os.path.join(work, 'image.hex')
    write_image(image)

    skip_tags = sorted(case for case in CASE_OPTIONS if missing_options(args.cli, case))
    sims = {}
    try:
        sims['a'] = start_sim(args.sim, FLEET_A, os.path.join(work, 'report-a'))
        sims['b'] = start_sim(args.sim, [], os.path.join(work, 'report-b'))
        inventory = {'all': {
            'vars': {'ansible_connection': 'local',
                     'ansible_python_interpreter': '{{ ansible_playbook_python }}',
                     'varo_cli': os.path.abspath(args.cli), 'varo_uploads': uploads,
                     'varo_image': image},
            'children': {group: {'hosts': {
                host: {'varo_target': 'tcp:127.0.0.1:%d' % sims[fleet][1][index]}
                for host, (fleet, index) in hosts.items()}} for group, hosts in HOSTS.items()},
        }}
        inventory['all']['children']['check_readers']['hosts']['d0']['varo_uploads'] = \
            check_uploads
        inventory_path = os.path.join(work, 'inventory.json')
        with open(inventory_path, 'w') as stream:
            json.dump(inventory, stream, indent=1)

        env = dict(os.environ)
        env.update({
            'ANSIBLE_COLLECTIONS_PATH': collection_tree(work, args.collection),
            'ANSIBLE_CALLBACK_PLUGINS': os.path.join(HERE, 'callback_plugins'),
            'ANSIBLE_CALLBACKS_ENABLED': 'varo_results',
            'ANSIBLE_LOCAL_TEMP': os.path.join(work, 'ansible-tmp'),
            # Modules keep their temporary files (the dictionary profile) here.
            'ANSIBLE_REMOTE_TEMP': os.path.join(work, 'ansible-tmp'),
            'ANSIBLE_RETRY_FILES_ENABLED': 'false',
            'ANSIBLE_NOCOLOR': '1',
            'PYTHONDONTWRITEBYTECODE': '1',
            'ANSIBLE_HOST_KEY_CHECKING': 'false',
            'VARO_RESULTS_FILE': os.path.join(work, 'results.json'),
        })
        command = ['ansible-playbook', '-i', inventory_path, os.path.join(HERE, 'fleet.yml')]
        if skip_tags:
            command += ['--skip-tags', ','.join(skip_tags)]
        with open(os.path.join(work, 'playbook.log'), 'w') as log:
            rc = subprocess.run(command, stdout=log, stderr=subprocess.STDOUT, env=env,
                                timeout=900).returncode
    finally:
        for process, _ in sims.values():
            stop_sim(process)
    with open(os.path.join(work, 'run.json'), 'w') as stream:
        json.dump({'rc': rc, 'skipped_cases': skip_tags}, stream)
    print('ansible-playbook exit %d; cases left out: %s' % (rc, ', '.join(skip_tags) or 'none'))
    return 0


class Checker(object):
    def __init__(self, work):
        self.work = work
        with open(os.path.join(work, 'run.json')) as stream:
            self.run = json.load(stream)
        with open(os.path.join(work, 'results.json')) as stream:
            self.results = json.load(stream)
        self.failures = []

    def expect(self, condition, text):
        if not condition:
            self.failures.append(text)

    def of(self, task, host):
        found = [r for r in self.results if r['task'] == task and r['host'] == host]
        if len(found) != 1:
            self.failures.append('%d results of "%s" on %s' % (len(found), task, host))
            return {'outcome': None, 'ignored': False, 'result': {}}
        return found[0]

    def report(self, fleet, index):
        path = os.path.join(self.work, 'report-%s.%d' % (fleet, index))
        if not os.path.exists(path):
            path = os.path.join(self.work, 'report-%s' % fleet)
        with open(path) as stream:
            return [line.split(' ', 1)[0] for line in stream.read().splitlines() if line]


def check_info(c):
    for host in ('a0', 'a1'):
        r = c.of('read', host)
        values = r['result']
        c.expect(r['outcome'] == 'ok', '%s: info outcome %s' % (host, r['outcome']))
        c.expect(values.get('firmware_id') == 'VARO SIM V1.0',
                 '%s: firmware_id %r' % (host, values.get('firmware_id')))
        c.expect(values.get('total_slots') == 32000 and values.get('used') == 5
                 and values.get('uploaded') == 0, '%s: memory counts %r' % (host, values))
        c.expect(values.get('status') == 'ok' and values.get('reason') == 'ok',
                 '%s: status/reason %r/%r' % (host, values.get('status'), values.get('reason')))
        if '--format' in help_text(c.cli):
            offset = values.get('clock_offset_seconds')
            # The simulated clock starts in 2010.
            c.expect(isinstance(offset, (int, float)) and offset < -1e8,
                     '%s: clock_offset_seconds %r' % (host, offset))
            c.expect(bool(values.get('reader_time_iso')), '%s: no reader_time_iso' % host)


def check_faulty(c):
    silent = c.of('read', 'a2')
    c.expect(silent['outcome'] == 'failed', 'silent reader: outcome %s' % silent['outcome'])
    values = silent['result']
    c.expect(values.get('reason') == 'timeout', 'silent reader: reason %r' % values.get('reason'))
    c.expect(values.get('step') == 'firmware identification',
             'silent reader: step %r' % values.get('step'))
    c.expect('firmware identification' in values.get('msg', ''),
             'silent reader: msg %r' % values.get('msg'))
    refused = c.of('read', 'a3')
    c.expect(refused['outcome'] == 'failed', 'closed port: outcome %s' % refused['outcome'])
    c.expect(refused['result'].get('reason') == 'unreachable',
             'closed port: reason %r' % refused['result'].get('reason'))
    c.expect(refused['result'].get('step') == 'connect',
             'closed port: step %r' % refused['result'].get('step'))
    # Only the faulty readers' hosts failed: the others went on to the next task.
    for host in ('a0', 'a1'):
        c.expect(c.of('after read', host)['outcome'] == 'ok', '%s did not go on' % host)
    for host in ('a2', 'a3'):
        c.expect(not [r for r in c.results if r['task'] == 'after read' and r['host'] == host],
                 '%s went on after its failure' % host)


def check_program(c):
    for host, index in (('c0', 0), ('c1', 1)):
        r = c.of('program dictionary', host)
        c.expect(r['outcome'] == 'changed', '%s: program outcome %s' % (host, r['outcome']))
        c.expect('X102' in c.report('a', index), '%s: the reader got no programming run' % host)
    # The temporary profile is gone; the folder held the modules' temporary files.
    c.expect(os.path.isdir(os.path.join(c.work, 'ansible-tmp')), 'no ansible-tmp folder')
    leftovers = []
    for folder, _, files in os.walk(os.path.join(c.work, 'ansible-tmp')):
        leftovers += [f for f in files if f.startswith('varo-profile-')]
    c.expect(not leftovers, 'temporary profiles left: %r' % leftovers)


def check_expect_reply(c):
    good = c.of('program expecting', 'c0')
    c.expect(good['outcome'] == 'changed', 'expected reply: outcome %s' % good['outcome'])
    bad = c.of('program expecting', 'c1')
    c.expect(bad['outcome'] == 'failed' and bad['ignored'],
             'other reply: outcome %s' % bad['outcome'])
    c.expect(bad['result'].get('reason') == 'wrong-reply',
             'other reply: reason %r' % bad['result'].get('reason'))
    summary = good['result'].get('reply_summary') or {}
    c.expect(summary.get('OK', 0) > 0, 'reply_summary %r' % summary)


def check_clock(c):
    first = c.of('clock first', 'c0')
    second = c.of('clock second', 'c0')
    c.expect(first['outcome'] == 'changed', 'first clock run: %s' % first['outcome'])
    c.expect(second['outcome'] == 'ok', 'second clock run: %s' % second['outcome'])
    # The simulated clock starts in 2010: far off first, within max_drift after.
    for run, within in ((first, False), (second, True)):
        drift = run['result'].get('drift_seconds')
        c.expect(isinstance(drift, (int, float)) and (abs(drift) <= 2) == within,
                 '%s: drift_seconds %r' % (run['task'], drift))


def check_upload(c):
    r = c.of('upload', 'c1')
    values = r['result']
    c.expect(r['outcome'] == 'changed', 'upload outcome %s' % r['outcome'])
    c.expect(values.get('records') == 5, 'records %r' % values.get('records'))
    path = values.get('file') or ''
    uploads = os.path.join(c.work, 'uploads')
    c.expect(os.path.dirname(path) == uploads, 'file %r not in the folder' % path)
    if os.path.isfile(path):
        with open(path) as stream:
            lines = [line for line in stream.read().splitlines() if line.strip()]
        c.expect(len(lines) == 5, '%d records in the file' % len(lines))
        mode = stat.S_IMODE(os.stat(path).st_mode)
        c.expect(mode == 0o600, 'file mode %o' % mode)
    else:
        c.failures.append('no file %r' % path)


def check_check_diff(c):
    for task in ('check program', 'check clock', 'check reset', 'check clear', 'check firmware'):
        r = c.of(task, 'd0')
        c.expect(r['outcome'] == 'changed', '%s: outcome %s' % (task, r['outcome']))
        c.expect(r['result'].get('check') is True, '%s: not reported as a dry run' % task)
    upload = c.of('check upload', 'd0')
    c.expect(upload['outcome'] in ('ok', 'changed'),
             'check upload: outcome %s' % upload['outcome'])
    diff = c.of('check clock', 'd0')['result'].get('diff') or {}
    c.expect(diff.get('before', '').startswith('2010-'), 'clock diff before %r' % diff)
    c.expect(diff.get('after') and diff.get('after') != diff.get('before'),
             'clock diff after %r' % diff)
    received = set(c.report('b', 0))
    c.expect(received and received <= READ_ONLY_CODES,
             'the reader received %r in check mode' % sorted(received - READ_ONLY_CODES))
    written = os.listdir(os.path.join(c.work, 'check-uploads'))
    c.expect(not written, 'check mode wrote %r' % written)


def check_rollout(c):
    c.expect(c.of('rollout read', 'r0')['outcome'] == 'ok', 'r0 did not run')
    c.expect(c.of('rollout read', 'r1')['outcome'] == 'failed', 'r1 (silent) did not fail')
    for host in ('r2', 'r3'):
        c.expect(not [r for r in c.results if r['host'] == host],
                 '%s ran after the failed batch' % host)
    c.expect(c.run['rc'] != 0, 'ansible-playbook exit 0 after a failed rollout')


# Keys Ansible itself adds to a result, or a module adds to an input failure.
STANDARD_KEYS = {'changed', 'failed', 'msg', 'diff', 'warnings', 'deprecations', 'rc', 'cmd',
                 'stderr', 'skipped', 'skip_reason', 'false_condition', '_ansible_no_log',
                 '_ansible_verbose_always', '_ansible_delegated_vars'}


def documented_returns(collection, name):
    source = os.path.join(collection, 'plugins', 'modules', name + '.py')
    with open(source) as stream:
        tree = ast.parse(stream.read())
    for node in tree.body:
        if isinstance(node, ast.Assign) and getattr(node.targets[0], 'id', '') == 'RETURN':
            return set(yaml.safe_load(node.value.value))
    return set()


def check_documented(c):
    """Every value a module returned in the run is in its RETURN block."""
    collection = os.path.join(c.work, 'collections', 'ansible_collections', 'ostrel', 'varo')
    seen = 0
    for r in c.results:
        if not r['action'].startswith('ostrel.varo.') or r['outcome'] == 'skipped':
            continue
        seen += 1
        name = r['action'].split('.')[-1]
        extra = set(r['result']) - documented_returns(collection, name) - STANDARD_KEYS
        c.expect(not extra, '%s returned undocumented %s' % (name, sorted(extra)))
    c.expect(seen > 0, 'no module results')


CHECKS = {'info': check_info, 'faulty': check_faulty, 'program': check_program,
          'expect_reply': check_expect_reply, 'clock': check_clock, 'upload': check_upload,
          'check_diff': check_check_diff, 'rollout': check_rollout,
          'documented': check_documented}


def check(args):
    missing = missing_options(args.cli, args.case)
    if missing:
        print('SKIPPED: varo-cli has no %s yet' % ', '.join(missing))
        return SKIP
    c = Checker(os.path.abspath(args.work))
    c.cli = args.cli
    CHECKS[args.case](c)
    if c.failures:
        print('\n'.join(['FAIL: ' + f for f in c.failures]))
        with open(os.path.join(c.work, 'playbook.log')) as stream:
            print('--- playbook log ---\n' + stream.read()[-6000:])
        return 1
    print('PASS: %s' % args.case)
    return 0


def main():
    parser = argparse.ArgumentParser()
    sub = parser.add_subparsers(dest='action', required=True)
    run_parser = sub.add_parser('run')
    run_parser.add_argument('--work', required=True)
    run_parser.add_argument('--sim', required=True)
    run_parser.add_argument('--cli', required=True)
    run_parser.add_argument('--collection', required=True)
    check_parser = sub.add_parser('check')
    check_parser.add_argument('case', choices=sorted(CHECKS))
    check_parser.add_argument('--work', required=True)
    check_parser.add_argument('--cli', required=True)
    args = parser.parse_args()
    return run(args) if args.action == 'run' else check(args)


if __name__ == '__main__':
    sys.exit(main())
