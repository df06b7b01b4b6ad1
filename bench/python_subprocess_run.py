# Runs a command the way Python programs usually do, capturing both streams, and
# prints the byte counts: the peer of qvx-run.
import subprocess
import sys

result = subprocess.run(sys.argv[1:], capture_output=True)
print(f"stdout={len(result.stdout)} stderr={len(result.stderr)}")
