#!/bin/sh
# Sets up a single-node Slurm on this Debian machine (as root), so that the
# study's test of study.sbatch runs under a real scheduler: slurm-wlm and
# munge installed, one node (this machine, its cores and memory), one
# partition, accounting off. Run it once; run it again to restart the
# daemons. Then `sinfo` lists the node and `ctest -R Slurm` runs the test.
#
#   sudo scripts/slurm-single-node.sh
set -eu

if [ "$(id -u)" != 0 ]; then
    echo "slurm-single-node.sh: run it as root (sudo)" >&2
    exit 1
fi

export DEBIAN_FRONTEND=noninteractive
apt-get install -y --no-install-recommends slurm-wlm munge

node=$(hostname -s)
cpus=$(nproc)
# Slurm wants the memory in MiB, a little below what the machine has.
memory=$(awk '/MemTotal/ { printf "%d", $2 / 1024 * 0.9 }' /proc/meminfo)
conf=/etc/slurm/slurm.conf
mkdir -p /etc/slurm /var/spool/slurmctld /var/spool/slurmd /var/log/slurm
chown slurm:slurm /var/spool/slurmctld /var/log/slurm 2>/dev/null || true

cat > "$conf" <<EOF
# Written by breloStudy's scripts/slurm-single-node.sh: one node, no accounting.
ClusterName=single
SlurmctldHost=$node
AuthType=auth/munge
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
SchedulerType=sched/backfill
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
ReturnToService=2
SlurmctldPidFile=/run/slurmctld.pid
SlurmdPidFile=/run/slurmd.pid
SlurmdSpoolDir=/var/spool/slurmd
StateSaveLocation=/var/spool/slurmctld
SlurmUser=slurm
AccountingStorageType=accounting_storage/none
JobAcctGatherType=jobacct_gather/none
SlurmctldLogFile=/var/log/slurm/slurmctld.log
SlurmdLogFile=/var/log/slurm/slurmd.log
NodeName=$node CPUs=$cpus RealMemory=$memory State=UNKNOWN
PartitionName=main Nodes=$node Default=YES MaxTime=INFINITE State=UP
EOF

# munge: one key, its daemon.
if [ ! -s /etc/munge/munge.key ]; then
    if command -v mungekey > /dev/null 2>&1; then
        mungekey --create --force
    else
        dd if=/dev/urandom bs=1 count=1024 of=/etc/munge/munge.key 2> /dev/null
    fi
    chown munge:munge /etc/munge/munge.key
    chmod 400 /etc/munge/munge.key
fi

if command -v systemctl > /dev/null 2>&1 && systemctl is-system-running > /dev/null 2>&1; then
    systemctl restart munge slurmctld slurmd
else
    # A container without systemd: the daemons started by hand.
    for pidfile in /run/slurmd.pid /run/slurmctld.pid; do
        [ -s "$pidfile" ] && kill "$(cat "$pidfile")" 2> /dev/null || true
    done
    sleep 1
    pgrep -x munged > /dev/null || su -s /bin/sh munge -c /usr/sbin/munged
    slurmctld
    slurmd
fi

for _ in 1 2 3 4 5 6 7 8 9 10; do
    if sinfo -h -o %T 2> /dev/null | grep -qE 'idle|mixed|alloc'; then
        sinfo
        exit 0
    fi
    sleep 1
done
echo "slurm-single-node.sh: the node did not come up; see /var/log/slurm/" >&2
exit 1
