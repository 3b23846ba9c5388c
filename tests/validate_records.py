#!/usr/bin/env python3
"""Checks every run record under the folders given against the published JSON Schema
(docs/run-record.schema.json); version 1 records, which the schema does not describe, are
passed over. Prints one line per record that does not hold and exits 1 then.
   validate_records.py FOLDER..."""
import json
import pathlib
import sys

import jsonschema

SCHEMA = pathlib.Path(__file__).resolve().parent.parent / "docs" / "run-record.schema.json"


def main(folders):
    validator = jsonschema.Draft202012Validator(json.loads(SCHEMA.read_text()))
    checked, bad = 0, 0
    for folder in folders:
        for path in sorted(pathlib.Path(folder).rglob("*.json")):
            record = json.loads(path.read_text(encoding="utf-8"))
            if record.get("schema") == "mv62-run-record/1":
                continue
            checked += 1
            for error in validator.iter_errors(record):
                bad += 1
                where = "/".join(str(p) for p in error.absolute_path)
                print(f"{path}: {where}: {error.message}")
    if checked == 0:
        print("no version 2 record to check in " + " ".join(folders))
        return 1
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
