"""The command line: python -m barsight scan|evaluate FILES...

    python -m barsight scan data/*.csv                 the newest bar's code per file
    python -m barsight evaluate data/*.csv --split 2015-01-01 --events events.csv

Files are read by barsight.read_bars (CSV, MetaTrader's and MetaStock's
exports). Tables go to standard output as CSV; a file that cannot be read
is named on standard error and the exit status is 1."""
import argparse
import sys

from . import evaluate, read_bars, scan


def _horizons(text):
    try:
        return [int(h) for h in text.split(",")]
    except ValueError:
        raise argparse.ArgumentTypeError("horizons are whole numbers with commas between, not %r" % text) from None


def main(argv=None):
    parser = argparse.ArgumentParser(prog="python -m barsight", description="Barsight's VSA signals from files.")
    commands = parser.add_subparsers(dest="command", required=True)
    one = commands.add_parser("scan", help="the newest bar's provisional code per file")
    one.add_argument("files", nargs="+")
    one.add_argument("--periods", type=int, default=9)
    two = commands.add_parser("evaluate", help="what each signal was followed by over the files")
    two.add_argument("files", nargs="+")
    two.add_argument("--horizons", type=_horizons, default=[1, 5, 10, 20])
    two.add_argument("--entry", choices=["open", "close", "same"], default="open")
    two.add_argument("--baseline", choices=["file", "file-year", "date"], default="file")
    two.add_argument("--bootstrap", type=int, default=2000)
    two.add_argument("--seed", type=int, default=1)
    two.add_argument("--min-count", type=int, default=30)
    two.add_argument("--min-episodes", type=int, default=20)
    two.add_argument("--periods", type=int, default=9)
    two.add_argument("--split", help="a date YYYY-MM-DD: the bars before it and from it on apart")
    two.add_argument("--events", metavar="OUT.csv", help="write one row per case to this file")
    args = parser.parse_args(argv)
    try:
        if args.command == "scan":
            table = scan(args.files, periods=args.periods)
            sys.stdout.write(table.to_csv())
            return 0
        frames = {path: read_bars(path) for path in args.files}
        table = evaluate(frames, horizons=args.horizons, entry=args.entry, baseline=args.baseline,
                         bootstrap=args.bootstrap, seed=args.seed, min_count=args.min_count,
                         min_episodes=args.min_episodes, periods=args.periods, split=args.split)
        if args.events:
            table.attrs["events"].to_csv(args.events, index=False)
        sys.stdout.write(table.to_csv(index=False))
        return 0
    except (ValueError, TypeError, OSError) as error:
        print("barsight: %s" % error, file=sys.stderr)
        return 1


if __name__ == "__main__":
    sys.exit(main())
