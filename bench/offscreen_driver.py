"""What the viewer benches share: the build folder and the number of runs
from the command line ([BUILD_DIR] [RUNS]), their C++ driver built fresh,
and an environment that runs Qt offscreen."""
import os
import subprocess
import sys


def prepare(target, default_runs):
    """Builds the bench target; returns (driver path, runs, environment)."""
    top = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(top, "build"))
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else default_runs
    subprocess.run(["cmake", "--build", build, "--target", target], check=True,
                   stdout=subprocess.DEVNULL)
    environment = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    return os.path.join(build, "bench", target), runs, environment
