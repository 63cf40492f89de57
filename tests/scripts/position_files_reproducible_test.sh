#!/usr/bin/env bash
# The committed position files must be exactly what the generator writes from gemmi's table:
# a hand edit, or a generator change without regenerated data, fails here.
# Arguments: source directory, binary directory. Exit 77 (skipped) when gemmi is not available.
set -u
source_dir=${1:?source directory}

python=""
# python3-gemmi installs for the system interpreter, which another python3 on PATH may hide.
for candidate in python3 /usr/bin/python3; do
  if command -v "$candidate" >/dev/null 2>&1 && "$candidate" -c 'import gemmi' 2>/dev/null; then
    python=$candidate
    break
  fi
done
if [ -z "$python" ]; then
  echo "gemmi cannot be imported by python3: skipped"
  exit 77
fi

"$python" "$source_dir/tools/make_position_files.py" --check "$source_dir/data"
