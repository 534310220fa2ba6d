#!/usr/bin/env bash
# End-to-end test of orvala-cli on a real Slurm: a one-node cluster of its own
# (munged, slurmctld and slurmd started from a temporary folder, stopped on
# exit), the job array of apply-array.sbatch over every file of the shared
# sample folder in 4 shards, then merge, and the merged table compared byte
# for byte with a single apply over the same list.
#
#   scripts/cluster/test-slurm.sh BUILD_DIR
#
# Runs as root (slurmd starts the tasks); installs Debian's slurm-wlm and
# munge when they are missing. Ends with status 0 when the tables are equal;
# skips (status 0, saying so) when the sample folder is absent or it does not
# run as root.
set -euo pipefail

build="${1:?usage: test-slurm.sh BUILD_DIR}"
here="$(cd "$(dirname "$0")" && pwd)"
top="$(cd "$here/../.." && pwd)"
cli="$(cd "$build" && pwd)/src/cli/orvala-cli"
samples="${ORVALA_SHARED_DIR:-$top/../shared}/fcs-samples"
protocol="$here/scatter-gates.orp"
shards=4
started=$SECONDS

say() { echo "test-slurm: $*"; }
fail() { echo "test-slurm: FAILED: $*" >&2; exit 1; }

[[ -x "$cli" ]] || fail "no orvala-cli in $build (build the orvala-cli target first)"
if [[ ! -d "$samples" ]]; then
  say "skipped: no sample files at $samples"
  exit 0
fi
# slurmd starts the tasks as the submitting user, which needs root.
if [[ $(id -u) -ne 0 ]]; then
  say "skipped: a cluster of its own needs root (slurmd)"
  exit 0
fi

# --- Slurm and munge --------------------------------------------------------
if ! command -v slurmctld >/dev/null || ! command -v slurmd >/dev/null || ! command -v sbatch >/dev/null ||
   ! command -v munged >/dev/null || ! command -v mungekey >/dev/null; then
  say "installing slurm-wlm and munge"
  t=$SECONDS
  export DEBIAN_FRONTEND=noninteractive
  if ! apt-get install -y --no-install-recommends slurm-wlm munge >/dev/null; then
    apt-get update >/dev/null
    apt-get install -y --no-install-recommends slurm-wlm munge >/dev/null
  fi
  say "installed in $((SECONDS - t)) s"
fi

tmp="$(mktemp -d "${TMPDIR:-/tmp}/orvala-slurm.XXXXXX")"
pids=()
job=""
cleanup() {
  local status=$?
  # Tasks still running are cancelled while the controller is up, so no
  # slurmstepd outlives its slurmd.
  if [[ -n "$job" ]]; then
    scancel "$job" 2>/dev/null || true
    for _ in $(seq 40); do
      [[ -z "$(squeue -h -j "$job" -o %i 2>/dev/null)" ]] && break
      sleep 0.25
    done
  fi
  # Only the daemons this script started, by their process ids.
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  if [[ $status -ne 0 && -d "$tmp" ]]; then
    for log in "$tmp"/log/*; do [[ -f "$log" ]] && { echo "--- $log"; tail -n 20 "$log"; }; done >&2
  fi
  rm -rf "$tmp"
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

mkdir -p "$tmp/munge" "$tmp/log" "$tmp/state" "$tmp/spool" "$tmp/out" "$tmp/jobs"
chmod 700 "$tmp/munge"

free_port() {
  local p
  for _ in $(seq 50); do
    p=$((20000 + RANDOM % 30000))
    if ! (exec 3<>"/dev/tcp/127.0.0.1/$p") 2>/dev/null; then echo "$p"; return; fi
  done
  fail "no free TCP port found"
}

# --- munged -----------------------------------------------------------------
mungekey --create --keyfile="$tmp/munge/munge.key" >/dev/null 2>&1 ||
  fail "mungekey could not create a key"
chmod 600 "$tmp/munge/munge.key"
munged --foreground --force --key-file="$tmp/munge/munge.key" --socket="$tmp/munge/munge.socket" \
  --pid-file="$tmp/munge/munged.pid" --seed-file="$tmp/munge/munged.seed" \
  --log-file="$tmp/log/munged.log" >>"$tmp/log/munged.out" 2>&1 &
pids+=($!)
for _ in $(seq 50); do [[ -S "$tmp/munge/munge.socket" ]] && break; sleep 0.1; done
[[ -S "$tmp/munge/munge.socket" ]] || fail "munged did not start"

# --- slurm.conf for this machine as its only node ---------------------------
host="$(hostname -s)"
cpus="$(nproc)"
memory=$(($(awk '/^MemTotal:/ {print $2}' /proc/meminfo) / 1024 / 2))
ctld_port="$(free_port)"
slurmd_port="$(free_port)"
export SLURM_CONF="$tmp/slurm.conf"
cat >"$SLURM_CONF" <<CONF
ClusterName=orvalatest
SlurmctldHost=$host(127.0.0.1)
SlurmctldPort=$ctld_port
SlurmdPort=$slurmd_port
SlurmUser=$(id -un)
AuthType=auth/munge
AuthInfo=socket=$tmp/munge/munge.socket
CredType=cred/munge
StateSaveLocation=$tmp/state
SlurmdSpoolDir=$tmp/spool
SlurmctldPidFile=$tmp/slurmctld.pid
SlurmdPidFile=$tmp/slurmd.pid
SlurmctldLogFile=$tmp/log/slurmctld.log
SlurmdLogFile=$tmp/log/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
SchedulerType=sched/backfill
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
MpiDefault=none
ReturnToService=2
SlurmdTimeout=30
InactiveLimit=0
KillWait=5
NodeName=$host NodeAddr=127.0.0.1 CPUs=$cpus RealMemory=$memory State=UNKNOWN
PartitionName=orvala Nodes=$host Default=YES MaxTime=INFINITE State=UP
CONF

# --- slurmctld and slurmd ---------------------------------------------------
slurmctld -D -c -f "$SLURM_CONF" >>"$tmp/log/slurmctld.out" 2>&1 &
pids+=($!)
slurmd -D -f "$SLURM_CONF" -N "$host" >>"$tmp/log/slurmd.out" 2>&1 &
pids+=($!)
state=""
for _ in $(seq 120); do
  state="$(sinfo -h -N -o %T 2>/dev/null | head -n 1 || true)"
  [[ "$state" == idle* ]] && break
  sleep 0.5
done
[[ "$state" == idle* ]] || fail "the node did not come up (state '${state:-none}')"
say "one-node cluster up after $((SECONDS - started)) s"

# --- the study: every sample file, 4 shards ---------------------------------
list="$tmp/files.txt"
find "$samples" -maxdepth 1 -type f | LC_ALL=C sort >"$list"
files=$(wc -l <"$list")
((files > 0)) || fail "no files in $samples"

t=$SECONDS
job="$(sbatch --parsable --array=0-$((shards - 1)) --cpus-per-task=1 --mem-per-cpu=200M \
  --chdir="$tmp" --output="$tmp/jobs/%A_%a.out" \
  --export="ALL,PROTOCOL=$protocol,LIST=$list,OUT=$tmp/out,ORVALA_CLI=$cli" \
  "$here/apply-array.sbatch")" || fail "sbatch refused the job array"
# Polled here rather than with sbatch --wait, which looks only every few
# seconds. Tasks whose files did not all read end FAILED; the tables are what
# is checked.
while true; do
  ((SECONDS - t < 300)) || fail "the job array did not end within 300 s"
  # A busy slurmctld may not answer; only an answer without tasks ends this.
  # A job long gone from the controller's memory is an invalid id.
  if queued="$(squeue -h -j "$job" -o %i 2>"$tmp/squeue.err")"; then
    [[ -z "$queued" ]] && break
  elif grep -q "Invalid job id" "$tmp/squeue.err"; then
    break
  fi
  sleep 0.5
done
say "job array of $shards tasks over $files files ran in $((SECONDS - t)) s"
for i in $(seq 0 $((shards - 1))); do
  [[ -f "$tmp/out/stats-$i.tsv" ]] || { cat "$tmp"/jobs/*.out >&2 || true; fail "shard $i wrote no table"; }
done

merge_status=0
"$cli" merge "$tmp"/out/stats-*.tsv --files-from "$list" --to "$tmp/merged.tsv" 2>"$tmp/merge.err" ||
  merge_status=$?
single_status=0
"$cli" apply "$protocol" --files-from "$list" --stats "$tmp/single.tsv" 2>"$tmp/single.err" || single_status=$?
((merge_status <= 1)) || { cat "$tmp/merge.err" >&2; fail "merge failed"; }
((single_status <= 1)) || { cat "$tmp/single.err" >&2; fail "the single run failed"; }

cmp -s "$tmp/merged.tsv" "$tmp/single.tsv" || {
  diff "$tmp/single.tsv" "$tmp/merged.tsv" | head -n 20 >&2
  fail "the merged table differs from the single run's"
}
[[ $merge_status -eq $single_status ]] || fail "merge ended with $merge_status, the single run with $single_status"
# The truncated sample is one of the files that cannot be read: it has its
# error row in both tables.
bad="$(grep -c -P '^[^\t]*\t\t\t\t\t[^\t]+' "$tmp/merged.tsv" || true)"
((bad > 0)) || fail "no file of the samples gave an error row"
gated="$(awk -F '\t' 'NR > 1 && $2 != ""' "$tmp/merged.tsv" | wc -l)"
((gated > 0)) || fail "no gate rows in the table"
say "ok: $files files, $shards shards, merged table equals the single run" \
  "($gated gate rows, $bad files with an error row) in $((SECONDS - started)) s"
