#!/usr/bin/python3
"""Reads varo-cli's reports with the parsers their consumers use and prints what they hold as one
JSON object, for the C++ fleet test to judge.

  reportparse.py --jsonl OUT --junit FILE --metrics FILE --retry FILE   (each optional)

jsonl: {"events": [...], "results": {target: status}, "summary": {...}}
junit: {"cases": {target: "passed" | "failure:<type>:<step>" | "skipped"}, "tests": n, ...}
metrics: {"<sample name>[/<kind>]": {target: value}}, also checking each family's labels
retry: [target, ...]
"""
import argparse
import json
import sys
import xml.etree.ElementTree as ElementTree

from prometheus_client.parser import text_string_to_metric_families


def read_jsonl(path):
    events, results, summary = [], {}, {}
    with open(path, encoding='utf-8') as stream:
        for line in stream:
            entry = json.loads(line)
            events.append(entry['event'])
            if entry['event'] == 'result':
                results[entry['target']] = entry['status']
            elif entry['event'] == 'summary':
                summary = entry
    return {'events': events, 'results': results, 'summary': summary}


def read_junit(path):
    suite = ElementTree.parse(path).getroot().find('testsuite')
    cases = {}
    for case in suite.iter('testcase'):
        failure, skipped = case.find('failure'), case.find('skipped')
        if failure is not None:
            step = failure.text.splitlines()[0].split(': ', 1)[1] if failure.text else ''
            cases[case.get('name')] = 'failure:%s:%s' % (failure.get('type'), step)
        elif skipped is not None:
            cases[case.get('name')] = 'skipped'
        else:
            cases[case.get('name')] = 'passed'
    return {'cases': cases, 'tests': int(suite.get('tests')),
            'failures': int(suite.get('failures')), 'skipped': int(suite.get('skipped'))}


def read_metrics(path):
    samples = {}
    with open(path, encoding='utf-8') as stream:
        for family in text_string_to_metric_families(stream.read()):
            if family.type != 'gauge' or not family.documentation:
                raise SystemExit('%s: not a documented gauge' % family.name)
            for sample in family.samples:
                key = sample.name + ('/' + sample.labels['kind'] if 'kind' in sample.labels else '')
                samples.setdefault(key, {})[sample.labels['target']] = sample.value
    return samples


def main():
    parser = argparse.ArgumentParser()
    for name in ('jsonl', 'junit', 'metrics', 'retry'):
        parser.add_argument('--' + name)
    args = parser.parse_args()
    report = {}
    if args.jsonl:
        report['jsonl'] = read_jsonl(args.jsonl)
    if args.junit:
        report['junit'] = read_junit(args.junit)
    if args.metrics:
        report['metrics'] = read_metrics(args.metrics)
    if args.retry:
        with open(args.retry, encoding='utf-8') as stream:
            report['retry'] = stream.read().splitlines()
    json.dump(report, sys.stdout)


if __name__ == '__main__':
    main()
