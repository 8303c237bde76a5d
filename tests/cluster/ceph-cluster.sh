#!/usr/bin/env bash
# A one-machine Ceph cluster with a CephFS file system, mounted twice by two
# ceph-fuse client processes (client.a at DIR/a, client.b at DIR/b), each
# standing for one machine. Everything lives in DIR: the configuration, the
# daemons' data, sockets, logs and pid files; the monitor listens on a free
# port of the loopback address, so clusters of several runs never meet.
#
#   ceph-cluster.sh start DIR   # exits 0 once both mounts work (logs: DIR/log)
#   ceph-cluster.sh mount DIR a # mounts client a again (after it was lost)
#   ceph-cluster.sh stop DIR    # unmounts and ends what DIR's pid files name
#
# The cluster: one monitor, one object store daemon keeping its objects in
# memory (memstore), one metadata server, no manager (nothing here needs
# one), no authentication. A client that stops renewing its session is
# evicted, and its locks released, after 30 s instead of a minute.
set -euo pipefail

command=${1:?start, mount or stop}
dir=$(realpath "${2:?the cluster directory}")
conf=$dir/ceph.conf

ceph_() { timeout 30 ceph -c "$conf" "$@"; }

wait_for() {
  local tries=$(($1 * 10))
  shift
  until "$@" >/dev/null 2>&1; do
    tries=$((tries - 1))
    [ "$tries" -gt 0 ] || return 1
    sleep 0.1
  done
}

# A port of the loopback address nothing answers on.
free_port() {
  local port
  for _ in $(seq 100); do
    port=$((20000 + RANDOM % 20000))
    (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null || { echo "$port"; return; }
  done
  return 1
}

# A monitor stops itself when its disk is almost full (5 % free); the tests
# need only a few megabytes, so it is told to keep going.
write_conf() {
  local port=$1
  cat >"$conf" <<EOF
[global]
fsid = $(cat /proc/sys/kernel/random/uuid)
mon host = v2:127.0.0.1:$port
public network = 127.0.0.0/8
auth cluster required = none
auth service required = none
auth client required = none
run dir = $dir/run
admin socket = $dir/run/\$name.asok
pid file = $dir/run/\$name.pid
log file = $dir/log/\$name.log
crash dir = $dir/crash
osd pool default size = 1
osd pool default min size = 1
osd crush chooseleaf type = 0
mon allow pool size one = true
mon warn on pool no redundancy = false
mon data avail warn = 1
mon data avail crit = 0
[mon]
mon data = $dir/mon/\$id
mon allow pool delete = true
[osd]
osd data = $dir/osd/\$id
osd objectstore = memstore
memstore device bytes = 1073741824
[mds]
mds data = $dir/mds/\$id
[client]
client mount timeout = 30
EOF
}

start() {
  mkdir -p "$dir"/{run,log,crash,mon/a,osd/0,mds/a,a,b}
  write_conf "$(free_port)"
  local port
  port=$(sed -n 's/^mon host = v2:127.0.0.1:\([0-9]*\)$/\1/p' "$conf")
  monmaptool --create --clobber --fsid "$(sed -n 's/^fsid = //p' "$conf")" \
    --addv a "[v2:127.0.0.1:$port]" "$dir/monmap" >/dev/null
  ceph-mon -c "$conf" -i a --mkfs --monmap "$dir/monmap" >>"$dir/log/start.log" 2>&1
  ceph-mon -c "$conf" -i a >>"$dir/log/start.log" 2>&1
  wait_for 30 ceph_ mon stat

  [ "$(ceph_ osd create)" = 0 ]
  ceph-osd -c "$conf" -i 0 --mkfs >/dev/null 2>&1
  ceph-osd -c "$conf" -i 0 >>"$dir/log/start.log" 2>&1
  wait_for 60 osd_up

  ceph_ osd pool create cephfs_metadata 8 >/dev/null 2>&1
  ceph_ osd pool create cephfs_data 8 >/dev/null 2>&1
  ceph_ fs new cephfs cephfs_metadata cephfs_data >/dev/null 2>&1
  # The least the monitor accepts (the defaults are 60 s and 300 s): the MDS
  # evicts a client whose session went unrenewed for session_timeout and
  # frees its locks (32 to 35 s after its process died, measured).
  ceph_ fs set cephfs session_timeout 30 >/dev/null 2>&1
  ceph_ fs set cephfs session_autoclose 30 >/dev/null 2>&1
  ceph-mds -c "$conf" -i a >>"$dir/log/start.log" 2>&1
  wait_for 60 mds_active

  mount_client a
  mount_client b
}

osd_up() { ceph_ osd stat | grep -q '1 up'; }
mds_active() { ceph_ mds stat | grep -q 'up:active'; }
mounted() { grep -q " $dir/$1 fuse.ceph-fuse " /proc/mounts; }

mount_client() {
  local side=$1
  umount -l "$dir/$side" 2>/dev/null || true
  ceph-fuse -c "$conf" --id "$side" "$dir/$side" >/dev/null 2>&1
  wait_for 30 mounted "$side"
  ls "$dir/$side" >/dev/null
}

stop() {
  local side name pid
  for side in a b; do
    umount -l "$dir/$side" 2>/dev/null || true
  done
  for name in client.a client.b mds.a osd.0 mon.a; do
    pid=$(cat "$dir/run/$name.pid" 2>/dev/null || true)
    [ -n "$pid" ] && kill -9 "$pid" 2>/dev/null || true
  done
}

case $command in
  start) start ;;
  mount) mount_client "${3:?a or b}" ;;
  stop) stop ;;
  *) echo "usage: $0 start|mount|stop DIR [a|b]" >&2; exit 2 ;;
esac
