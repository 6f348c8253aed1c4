#!/usr/bin/python3
"""Checks vornak-cli's JSON output on standard input against a schema in docs/schema:
   check-json.py SCHEMA          one document
   check-json.py SCHEMA --lines  one object per line (poll, wait)
Exit 0 when every document is valid, 1 with the first fault on standard error."""
import json
import sys

import jsonschema

schema = json.load(open(sys.argv[1], encoding="utf-8"))
text = sys.stdin.read()
documents = text.splitlines() if "--lines" in sys.argv[2:] else [text]
if not text.endswith("\n") or not documents:
    sys.exit("output does not end with a newline")
validator = jsonschema.Draft202012Validator(schema)
for number, document in enumerate(documents, 1):
    try:
        validator.validate(json.loads(document))
    except (ValueError, jsonschema.ValidationError) as fault:
        sys.exit(f"document {number}: {getattr(fault, 'message', fault)}")
