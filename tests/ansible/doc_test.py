#!/usr/bin/python3
"""Every module of the collection: ansible-doc renders it, and its DOCUMENTATION (with the
shared fragment), EXAMPLES and RETURN agree with the options the module accepts. The example playbook passes
ansible-playbook --syntax-check with the example inventory.

  doc_test.py --work DIR --collection SRC
"""

import argparse
import json
import os
import runpy
import subprocess
import sys

import yaml

# Nothing is written into the source tree.
sys.dont_write_bytecode = True

# Return values every module documents (the shared result fields).
COMMON_RETURN = {'target', 'status', 'reason', 'step', 'message', 'seconds', 'data', 'check'}


def collection_tree(work, collection):
    root = os.path.join(work, 'collections')
    link = os.path.join(root, 'ansible_collections', 'ostrel', 'varo')
    os.makedirs(os.path.dirname(link), exist_ok=True)
    if os.path.islink(link):
        os.remove(link)
    os.symlink(os.path.abspath(collection), link)
    return root


def accepted_options(root, path):
    if root not in sys.path:
        sys.path.insert(0, root)
    # Run as a plain file (not as __main__), so its globals are read without running main().
    return runpy.run_path(path, run_name='varo_module_under_test')['ARGUMENT_SPEC']


def compare_options(name, documented, accepted, failures):
    if set(documented) != set(accepted):
        failures.append('%s: documented %s, accepted %s'
                        % (name, sorted(documented), sorted(accepted)))
    for option in sorted(set(documented) & set(accepted)):
        doc, arg = documented[option], accepted[option]
        for field, default in (('type', 'str'), ('required', False), ('default', None),
                               ('choices', None), ('elements', None)):
            if doc.get(field, default) != arg.get(field, default):
                failures.append('%s: option %s: %s documented %r, accepted %r'
                                % (name, option, field, doc.get(field, default),
                                   arg.get(field, default)))
        if not doc.get('description'):
            failures.append('%s: option %s has no description' % (name, option))


def example_tasks(examples):
    for item in examples or []:
        if isinstance(item, dict) and 'tasks' in item:
            for task in item['tasks']:
                yield task
        elif isinstance(item, dict):
            yield item


def check_examples(name, text, accepted, failures):
    try:
        examples = yaml.safe_load(text)
    except yaml.YAMLError as error:
        failures.append('%s: EXAMPLES is not YAML: %s' % (name, error))
        return
    used = False
    for task in example_tasks(examples):
        arguments = task.get('ostrel.varo.' + name)
        if arguments is None:
            continue
        used = True
        unknown = set(arguments) - set(accepted)
        if unknown:
            failures.append('%s: EXAMPLES use unknown options %s' % (name, sorted(unknown)))
        absent = [o for o, a in accepted.items() if a.get('required') and o not in arguments]
        if absent:
            failures.append('%s: an example lacks required %s' % (name, absent))
    if not used:
        failures.append('%s: no example uses the module' % name)


def check_returns(name, returns, failures):
    missing = COMMON_RETURN - set(returns or {})
    if missing:
        failures.append('%s: RETURN lacks %s' % (name, sorted(missing)))
    for key, entry in (returns or {}).items():
        for field in ('description', 'returned', 'type'):
            if field not in entry:
                failures.append('%s: return value %s has no %s' % (name, key, field))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--work', required=True)
    parser.add_argument('--collection', required=True)
    args = parser.parse_args()
    os.makedirs(args.work, exist_ok=True)
    root = collection_tree(os.path.abspath(args.work), args.collection)
    env = dict(os.environ, ANSIBLE_COLLECTIONS_PATH=root, ANSIBLE_NOCOLOR='1',
               PYTHONDONTWRITEBYTECODE='1')
    modules_dir = os.path.join(args.collection, 'plugins', 'modules')
    names = sorted(f[:-3] for f in os.listdir(modules_dir) if f.endswith('.py'))
    expected = ['reader_command', 'reader_firmware', 'reader_info', 'reader_program',
                'reader_time', 'reader_upload']
    failures = [] if names == expected else ['modules %s, expected %s' % (names, expected)]
    for name in names:
        fqcn = 'ostrel.varo.' + name
        shown = subprocess.run(['ansible-doc', '-t', 'module', fqcn], env=env,
                               stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                               universal_newlines=True)
        if shown.returncode != 0 or fqcn.upper() not in shown.stdout:
            failures.append('%s: ansible-doc failed (%d): %s'
                            % (name, shown.returncode, shown.stdout[-2000:]))
            continue
        rendered = subprocess.run(['ansible-doc', '--json', '-t', 'module', fqcn], env=env,
                                  stdout=subprocess.PIPE, universal_newlines=True, check=True)
        entry = json.loads(rendered.stdout)[fqcn]
        accepted = accepted_options(root, os.path.join(modules_dir, name + '.py'))
        compare_options(name, entry['doc'].get('options', {}), accepted, failures)
        check_examples(name, entry.get('examples'), accepted, failures)
        check_returns(name, entry.get('return'), failures)
        print('%s: rendered, %d options' % (fqcn, len(accepted)))
    playbooks = os.path.join(args.collection, 'playbooks')
    syntax = subprocess.run(['ansible-playbook', '--syntax-check', '-i',
                             os.path.join(playbooks, 'inventory.yml'),
                             os.path.join(playbooks, 'site.yml')], env=env,
                            stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                            universal_newlines=True)
    if syntax.returncode != 0:
        failures.append('example playbook: %s' % syntax.stdout[-2000:])
    if failures:
        print('\n'.join('FAIL: ' + f for f in failures))
        return 1
    return 0


if __name__ == '__main__':
    sys.exit(main())
