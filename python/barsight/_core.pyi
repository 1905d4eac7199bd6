# The extension's functions are the package's own building blocks; the
# package's public functions carry the types.
from typing import Any

MIN_REPLICATES: int
MAX_REPLICATES: int

def __getattr__(name: str) -> Any: ...
