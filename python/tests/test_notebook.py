"""docs/stskit.ipynb executed as a user runs it (Debian's nbconvert with
its ipykernel) on a generated grid: every cell runs, the map is drawn."""
import json
import os
import shutil
import subprocess
import sys

from conftest import SOURCE
from test_compute import synthetic


def test_the_notebook_runs(tmp_path):
    grid = synthetic(tmp_path, 24, 24, 300)
    env = dict(os.environ, STSKIT_GRID=grid, STSKIT_FIGURE=str(tmp_path / "map.png"))
    # Run where it is copied: the kernel's folder is the notebook's.
    notebook = tmp_path / "stskit.ipynb"
    shutil.copy(SOURCE / "docs" / "stskit.ipynb", notebook)
    r = subprocess.run([sys.executable, "-m", "nbconvert", "--to", "notebook", "--execute",
                        "--ExecutePreprocessor.timeout=600", "--output-dir", str(tmp_path),
                        "--output", "executed", str(notebook)],
                       cwd=tmp_path, env=env, capture_output=True, text=True)
    assert r.returncode == 0, r.stderr[-3000:]
    executed = json.loads((tmp_path / "executed.ipynb").read_text())
    outputs = [o for c in executed["cells"] if c["cell_type"] == "code" for o in c["outputs"]]
    assert not [o for o in outputs if o["output_type"] == "error"]
    text = "".join("".join(o.get("text", "")) for o in outputs)
    assert "chunked result as the eager one: True" in text
    assert (tmp_path / "map.png").read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"
    assert (tmp_path / "notebook_grid.nc").exists()
