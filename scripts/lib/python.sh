# The Python package installed as a user installs it: a fresh virtual
# environment of Debian's Python (with its numpy, pandas, matplotlib and
# pybind11: --system-site-packages), then
#   pip install --no-build-isolation ./python
# offline, from this tree as a fresh clone has it: what an earlier build
# left in python/build/ (where CMake builds the extension) is removed first.
# usage: python_package VENV   (sourced; returns non-zero on failure)
python_package() {
  local venv=$1
  rm -rf "$venv" python/build python/barsight.egg-info
  /usr/bin/python3 -m venv --system-site-packages "$venv" || { echo "python: cannot make a virtual environment" >&2; return 1; }
  "$venv/bin/python" -m pip install --no-build-isolation --no-index --quiet ./python ||
    { echo "python: pip cannot install ./python" >&2; return 1; }
}
