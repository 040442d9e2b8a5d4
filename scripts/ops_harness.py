"""What scripts/screenshots.sh imports, kept until it moves to tests/tools/dovrane_rig.py."""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "tests", "tools"))
import dovrane_rig as files  # noqa: E402,F401 - the data file writers
from dovrane_rig import Rig, seconds_now  # noqa: E402,F401
