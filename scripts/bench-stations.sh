# shellcheck shell=bash
# Sourced by scripts/bench once $work/full.hex holds the whole application
# region (960 KiB at 0x08004000): the station figures of docs/PERFORMANCE.md.
#
# Each round runs, one after the other, at 1 ms a report:
#   one    flash --all to 1 simulated wallet
#   all    flash --all to 8 wallets, each on its own port and link
#   lone   flash --watch --count 1 with 1 wallet
#   watch  flash --watch --count 8, wallet k plugged in (k-1) s after the start
# so each several-wallet run is measured beside its lone run, on the machine
# as loaded at that moment. Whole processes: wall time and peak resident
# memory from /usr/bin/time, each wallet's seconds from the JSON summary.
# Other work on the machine only ever slows a run down, so each figure is the
# best of its rounds; the ratios of every round are printed as well.

: "${work:?the folder scripts/bench made}"
stations_sim=$PWD/build/bin/tessaro-flash-sim
stations_rounds=${TESSARO_BENCH_ROUNDS:-3}

# station_run TAG OPTION...: one run of the sim in $work/TAG, failing loudly
# when any wallet did not verify.
station_run() {
    local tag=$1
    shift
    mkdir -p "$work/$tag"
    if ! (cd "$work/$tag" && /usr/bin/time -f '%e %M %U %S' -o time.txt "$stations_sim" flash ../full.hex --json \
        --link-us 1000 --path-style linux "$@" >events.json 2>err.txt); then
        echo "tessaro-flash-sim $* failed in round $tag:" >&2
        tail -5 "$work/$tag/err.txt" >&2
        return 1
    fi
}

watch_faults=()
for k in $(seq 2 8); do
    watch_faults+=(--wallet-fault "$k:plug-in-ms=$(((k - 1) * 1000))")
done

echo "Stations: 960 KiB to simulated wallets at 1 ms a report, $stations_rounds rounds"
echo "  load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
for r in $(seq "$stations_rounds"); do
    station_run "one$r" --all --wallets 1
    station_run "all$r" --all --wallets 8
    station_run "lone$r" --watch --count 1 --wallets 1
    station_run "watch$r" --watch --count 8 --wallets 8 "${watch_faults[@]}"
    echo "  round $r done, load average $(cut -d' ' -f1-3 /proc/loadavg)"
done

python3 - "$work" "$stations_rounds" <<'EOF'
import json, sys

work, rounds = sys.argv[1], int(sys.argv[2])

def run(tag, wallets):
    with open(f"{work}/{tag}/time.txt") as f:
        wall, kb, user, system = f.read().split()[-4:]
    summary = None
    with open(f"{work}/{tag}/events.json") as f:
        for line in f:
            event = json.loads(line)
            if event["event"] == "summary":
                summary = event
    if summary is None or summary["exit"] != 0 or len(summary["wallets"]) != wallets:
        sys.exit(f"{tag}: no summary of {wallets} verified wallets")
    return {"wall": float(wall), "mb": int(kb) / 1024, "cpu": float(user) + float(system),
            "seconds": [w["seconds"] for w in summary["wallets"]]}

R = range(1, rounds + 1)
one = [run(f"one{r}", 1) for r in R]
all8 = [run(f"all{r}", 8) for r in R]
lone = [run(f"lone{r}", 1) for r in R]
watch = [run(f"watch{r}", 8) for r in R]

def verdict(ok):
    return "PASS" if ok else "FAIL"

print("  round  1 wallet   8 wallets  ratio   | 1 wallet  8 wallets (peak MB) | lone     worst of 8 (watch)  ratio")
for i in range(rounds):
    print(f"  {i + 1:5}  {one[i]['wall']:7.2f} s  {all8[i]['wall']:7.2f} s  {all8[i]['wall'] / one[i]['wall']:.3f}"
          f"   | {one[i]['mb']:6.1f}   {all8[i]['mb']:6.1f}             "
          f"| {lone[i]['seconds'][0]:6.2f} s  {max(watch[i]['seconds']):6.2f} s"
          f"           {max(watch[i]['seconds']) / lone[i]['seconds'][0]:.3f}")

best_one = min(run["wall"] for run in one)
best_all = min(run["wall"] for run in all8)
ratio = best_all / best_one
print(f"flash --all, whole process, best of {rounds}: 1 wallet {best_one:.2f} s, 8 wallets {best_all:.2f} s, "
      f"{ratio:.3f}x (goal 1.10x): {verdict(ratio <= 1.10)}")
print(f"  CPU time of the process, user and system, least of {rounds}: 1 wallet "
      f"{min(run['cpu'] for run in one):.2f} s, 8 wallets {min(run['cpu'] for run in all8):.2f} s")

peak_one = min(run["mb"] for run in one)
peak_all = max(run["mb"] for run in all8)
bound = peak_one + 5 * 8
print(f"peak memory, highest of 8 wallets against lowest of 1: 1 wallet {peak_one:.1f} MB, 8 wallets "
      f"{peak_all:.1f} MB, bound {bound:.1f} MB, margin {bound - peak_all:.1f} MB: {verdict(peak_all <= bound)}")

best_lone = min(run["seconds"][0] for run in lone)
best_watch = min(watch, key=lambda run: max(run["seconds"]))
worst = max(best_watch["seconds"])
print(f"flash --watch, one wallet plugged in a second: lone update {best_lone:.2f} s (best of {rounds}); "
      f"each wallet of the best round: {', '.join(f'{s:.2f}' for s in best_watch['seconds'])} s; "
      f"worst {worst / best_lone:.3f}x (goal 1.10x): {verdict(worst <= 1.10 * best_lone)}")
print(f"  the whole --watch run of the best round: {best_watch['wall']:.2f} s, the last wallet plugged in at 7 s")
EOF
echo "  load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
