#!/usr/bin/env bash
# CI's cluster step (docs/distributed.md): the promises across two clients of
# a GlusterFS volume and of a CephFS file system that the test programs serve
# on this machine, the crash stress of appenders on both mounts and, on
# GlusterFS, a client cut off by iptables (CTest label cluster, about 100 s
# on GlusterFS and 150 s on CephFS).
# Needs root and FUSE; without them the tests are reported as skipped.
set -euo pipefail
cd "$(dirname "$0")/.."

export DEBIAN_FRONTEND=noninteractive
source .ci/packages.sh
install_missing glusterfs-server glusterfs-client iptables \
  ceph-mon ceph-osd ceph-mds ceph-common ceph-fuse

# The test programs tear their file system down themselves, also after
# failed tests; a program that crashed leaves its mounts, volume and daemons
# behind.
leftovers() {
  local point volume base
  for base in /tmp/qorvel-ceph-*; do
    [ -d "$base" ] || continue
    bash tests/cluster/ceph-cluster.sh stop "$base" || true
    rm -rf "$base"
  done
  for point in $(awk '$2 ~ "^/tmp/qorvel-gluster-" {print $2}' /proc/mounts); do
    umount -l "$point" || true
  done
  for volume in $(gluster --mode=script volume list 2>/dev/null | grep '^qorvel-' || true); do
    gluster --mode=script volume stop "$volume" force >/dev/null || true
    gluster --mode=script volume delete "$volume" >/dev/null || true
  done
  for base in /tmp/qorvel-gluster-*; do
    # The rules of a partition test that crashed before it healed the cut.
    if [ -f "$base/cut-port" ]; then
      local port
      port=$(cat "$base/cut-port")
      iptables -w 10 -D INPUT -i lo -p tcp --sport "$port" -j DROP || true
      iptables -w 10 -D INPUT -i lo -p tcp --dport "$port" -j DROP || true
    fi
    [ -f "$base/glusterd.pid" ] && kill "$(cat "$base/glusterd.pid")" 2>/dev/null || true
    rm -rf "$base"
  done
}
trap leftovers EXIT

start=$SECONDS
cmake --workflow --preset cluster
echo "== cluster step: $((SECONDS - start)) s"
