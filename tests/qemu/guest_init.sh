#!/bin/busybox sh
# /init of the test guest: loads the disk drivers, runs kestrel-cli and the
# peer tools on the emulated disks, and sends everything it collected to
# the second serial port as one base64 tar archive. /etc/test.env names
# the disks by serial number (AHCI_SERIAL, IDE_SERIAL) and sets RUNS.
/bin/busybox --install -s /bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
. /etc/test.env

O=/tmp/out
mkdir -p $O
log() { echo "guest: $*" | tee -a $O/guest.log; }

for m in $(cat /lib/modules/load-order); do
  insmod /lib/modules/$m.ko || log "insmod $m failed"
done

# The disks appear once the SCSI scan of both hosts is done.
i=0
while [ $(ls -d /sys/block/sd* 2>/dev/null | wc -l) -lt 2 ] && [ $i -lt 200 ]; do
  sleep 0.1
  i=$((i + 1))
done
ls /sys/block > $O/block.txt

# The peer reads every disk once; its serial numbers tell which is which.
for d in /sys/block/sd*; do
  n=${d##*/}
  smartctl -i -A -H /dev/$n > $O/smartctl-$n.txt 2>&1
  serial=$(sed -n 's/^Serial Number: *//p' $O/smartctl-$n.txt)
  [ "$serial" = "$AHCI_SERIAL" ] && ahci=$n
  [ "$serial" = "$IDE_SERIAL" ] && ide=$n
done
log "ahci=$ahci ide=$ide"
echo "$ahci" > $O/ahci.dev
echo "$ide" > $O/ide.dev

# SMART off on the IDE disk: the scan has to switch it on again.
smartctl -s off /dev/$ide > $O/smart-off.txt 2>&1
smartctl -A /dev/$ide > $O/smart-off-A.txt 2>&1
echo $? > $O/smart-off-A.rc

cd /opt/kestrel

# The monitor reads a drive once the system has been up for 30 seconds
# (its first interval counts from boot), then every 30 seconds.
uptime_s() { cut -d. -f1 /proc/uptime; }
while [ $(uptime_s) -lt 31 ]; do sleep 0.2; done

# A watch long enough for two readings, ended by SIGTERM. Its scan is the
# first since SMART went off on the IDE disk.
date '+%Y-%m-%d %H:%M:%S' > $O/watch.start
./kestrel-cli --watch --json /l $O/watch.log > $O/watch.out 2> $O/watch.err &
watcher=$!
start=$(uptime_s)

# Meanwhile one diagnosis that shows raw values whole, and a few ticks with
# a log.
./kestrel-cli --json /d whole-raw.ini > $O/oneshot.out 2> $O/oneshot.err
echo $? > $O/oneshot.rc
./kestrel-cli --ticks 3 --json /l $O/ticks.log > $O/ticks.out 2> $O/ticks.err
echo $? > $O/ticks.rc

# SMART off on the IDE disk again, between the watch's two readings: its
# second RETURN STATUS fails with an ATA error.
while [ $(uptime_s) -lt $((start + 10)) ]; do sleep 0.2; done
smartctl -s off /dev/$ide > $O/smart-off-2.txt 2>&1

while [ $(uptime_s) -lt $((start + 33)) ]; do sleep 0.2; done
kill -TERM $watcher
wait $watcher
echo $? > $O/watch.rc

# The figures, on the AHCI disk alone.
echo 1 > /sys/block/$ide/device/delete
sleep 0.5
now_us() {
  adjtimex | awk '/tv_sec/ { s = $2 } /tv_usec/ { u = $2 } END { printf "%.0f\n", s * 1000000 + u }'
}
timed() {
  out=$1
  shift
  k=0
  while [ $k -lt $RUNS ]; do
    t0=$(now_us)
    "$@" > /dev/null 2>&1
    t1=$(now_us)
    echo $((t1 - t0)) >> $O/$out
    k=$((k + 1))
  done
}
timed time-baseline.txt true
timed time-kestrel.txt ./kestrel-cli --json
timed time-smartctl.txt smartctl -i -A -H /dev/$ahci

./kestrel-cli --watch --json > $O/rss-kestrel.out 2> $O/rss-kestrel.err &
pid=$!
sleep 4
cat /proc/$pid/status > $O/rss-kestrel.status
kill -INT $pid
wait $pid
echo $? > $O/rss-kestrel.rc

echo "/dev/$ahci -a" > /tmp/smartd.conf
smartd -d -i 30 -c /tmp/smartd.conf > $O/rss-smartd.out 2>&1 &
pid=$!
sleep 4
cat /proc/$pid/status > $O/rss-smartd.status
kill -TERM $pid
wait $pid

dmesg > $O/dmesg.txt
tar -C /tmp -cf /tmp/out.tar out
uuencode -m /tmp/out.tar out.tar > /dev/ttyS1
sync
poweroff -f
