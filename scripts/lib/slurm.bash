# shellcheck shell=bash
# The Slurm test clusters of scripts/shard-test (one node, this host) and scripts/multihost-test
# (two hosts of namespaces): munged, and the part of slurm.conf that they share.
# shellcheck source=scripts/lib/sudo.bash
source "${BASH_SOURCE[0]%/*}/sudo.bash"
# shellcheck source=scripts/lib/processes.bash
source "${BASH_SOURCE[0]%/*}/processes.bash"

# Starts munged unless one answers already, noting its process id in started_pids.
startMunge() {
  $sudo mkdir -p /run/munge /var/log/munge /var/lib/munge
  $sudo chown munge:munge /run/munge /var/log/munge /var/lib/munge
  if [[ ! -f /etc/munge/munge.key ]]; then
    $sudo mungekey --create 2>/dev/null || $sudo create-munge-key -f
    $sudo chown munge:munge /etc/munge/munge.key
  fi
  if ! munge -n 2>/dev/null | unmunge >/dev/null 2>&1; then
    $sudo runuser -u munge -- /usr/sbin/munged
    waitForPidFile /run/munge/munged.pid
  fi
}

# Prints the slurm.conf of a test cluster named $1 whose slurmctld runs on $2 (HOST(ADDRESS))
# and keeps its state, pid file and log in $3, and whose slurmd keep theirs in $4 (each on its
# own host); the lines on standard input follow, the nodes and the partition last. The daemons
# run as root and authenticate with munge; no accounting, no cgroups (a container has none to
# give), cores as the unit a task gets.
slurmConf() {
  local cluster=$1 controller=$2 ctld_dir=$3 slurmd_dir=$4
  cat <<CONF
ClusterName=$cluster
SlurmctldHost=$controller
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
CredType=cred/munge
StateSaveLocation=$ctld_dir/ctld
SlurmctldPidFile=$ctld_dir/slurmctld.pid
SlurmctldLogFile=$ctld_dir/slurmctld.log
SlurmdSpoolDir=$slurmd_dir/slurmd
SlurmdPidFile=$slurmd_dir/slurmd.pid
SlurmdLogFile=$slurmd_dir/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
SchedulerType=sched/backfill
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
ReturnToService=2
MpiDefault=none
CONF
  cat
}
