#!/usr/bin/env bash
# Replays one gating protocol (or the gates of a workspace) on every file of a
# list as a Slurm job array. Array task I of N gates every N-th file of the
# list from the I-th and writes its own table, $OUT/stats-I.tsv; join them
# with `orvala-cli merge` once every task has ended (see docs/cluster.md).
#
#   sbatch --array=0-15 \
#     --export=ALL,PROTOCOL=gates.orp,LIST=files.txt,OUT=results \
#     scripts/cluster/apply-array.sbatch
#
# The array must be a plain range (0-15, 0-15%4), not a stepped or scattered
# one: the task's place in it is its shard, the array's size the count. To
# run some shards again, give the count and the shards' numbers:
#   sbatch --array=5,9 --export=ALL,SHARDS=16,PROTOCOL=...,LIST=...,OUT=... ...
#
# Variables:
#   PROTOCOL    protocol (.orp) or workspace (.orw) to replay
#   LIST        the files, one path a line (relative paths: from the folder
#               sbatch was called in)
#   OUT         folder for the tables (created when missing)
#   ORVALA_CLI  the orvala-cli to run (default: orvala-cli on PATH)
#   SAVE_GATED  optional folder for every gated data set as FCS
#   SHARDS      optional: the number of shards; the task ID is then the shard
#
#SBATCH --job-name=orvala-apply
#SBATCH --cpus-per-task=2
#SBATCH --mem-per-cpu=2G
#SBATCH --time=04:00:00
#SBATCH --output=orvala-apply-%A_%a.out

set -euo pipefail

: "${PROTOCOL:?set PROTOCOL to the protocol or workspace to replay}"
: "${LIST:?set LIST to the file list, one path a line}"
: "${OUT:?set OUT to the folder for the tables}"
: "${SLURM_ARRAY_TASK_ID:?submit this script as a job array: sbatch --array=0-N ...}"
cli="${ORVALA_CLI:-orvala-cli}"

if [[ -n "${SHARDS:-}" ]]; then
  index="$SLURM_ARRAY_TASK_ID"
  count="$SHARDS"
else
  # The shard is the task's place in the array, whatever number it starts at.
  : "${SLURM_ARRAY_TASK_COUNT:?this Slurm does not say how many tasks the array has; set SHARDS}"
  index=$((SLURM_ARRAY_TASK_ID - ${SLURM_ARRAY_TASK_MIN:-0}))
  count="$SLURM_ARRAY_TASK_COUNT"
  span=$((${SLURM_ARRAY_TASK_MAX:-$SLURM_ARRAY_TASK_ID} - ${SLURM_ARRAY_TASK_MIN:-0} + 1))
  if ((span != count)); then
    echo "apply-array: the array is not a plain range ($count tasks over $span numbers); use --array=0-$((count - 1)) or set SHARDS" >&2
    exit 2
  fi
fi

mkdir -p "$OUT"
args=(apply "$PROTOCOL" --files-from "$LIST" --shard "$index/$count"
      --stats "$OUT/stats-$index.tsv" --threads "${SLURM_CPUS_PER_TASK:-1}")
if [[ -n "${SAVE_GATED:-}" ]]; then args+=(--save-gated "$SAVE_GATED"); fi

# The table is written even when files fail (each as a row with its message);
# the task then ends with status 1, so sacct shows which shards hold failures.
exec "$cli" "${args[@]}"
