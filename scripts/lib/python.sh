# The Python package installed as a user installs it, from the package's
# own files: an sdist of python/ (the C++ sources it needs packed in), a
# wheel built from that sdist alone, and the wheel installed into a fresh
# virtual environment of Debian's Python (with its numpy, pandas, matplotlib
# and pybind11: --system-site-packages). Offline: --no-index, and
# --no-build-isolation so that the build takes the system's setuptools and
# pybind11. The sdist and the wheel stay in python-dist/ beside VENV. What an
# earlier build left in python/ is removed first.
# usage: python_package VENV   (sourced; returns non-zero on failure)
python_package() {
  local venv=$1 dist
  mkdir -p "$(dirname "$venv")" || return 1
  dist=$(cd "$(dirname "$venv")" 2>/dev/null && pwd)/python-dist ||
    { echo "python: no folder for $venv" >&2; return 1; }
  rm -rf "$venv" "$dist" python/build python/barsight.egg-info
  /usr/bin/python3 -m venv --system-site-packages "$venv" || { echo "python: cannot make a virtual environment" >&2; return 1; }
  (cd python && /usr/bin/python3 setup.py -q sdist -d "$dist" >/dev/null) ||
    { echo "python: setup.py sdist failed" >&2; return 1; }
  rm -rf python/barsight.egg-info
  "$venv/bin/python" -m pip wheel --no-deps --no-build-isolation --no-index --no-cache-dir --quiet -w "$dist" \
    "$dist"/barsight-*.tar.gz || { echo "python: pip cannot build a wheel from the sdist" >&2; return 1; }
  "$venv/bin/python" -m pip install --no-index --no-deps --quiet "$dist"/barsight-*.whl ||
    { echo "python: pip cannot install the wheel" >&2; return 1; }
}
