#!/bin/busybox sh
# /init of the test guest: loads the disk drivers, runs kestrel-cli and the
# peer tools on the emulated disks, and sends everything it collected to
# the second serial port as one base64 tar archive. /etc/test.env names
# the ATA disks and the NVMe controllers by serial number (AHCI_SERIAL,
# IDE_SERIAL, NVME_SERIAL, NVME_BAD_SERIAL, NVME_SHARED_SERIAL) and sets
# RUNS.
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

now_us() {
  adjtimex | awk '/tv_sec/ { s = $2 } /tv_usec/ { u = $2 } END { printf "%.0f\n", s * 1000000 + u }'
}

# The disks appear once the SCSI scan of the three hosts (AHCI, IDE, the
# USB disk a second after it is plugged) and the NVMe probes are done. The
# shared namespace also has a hidden disk per path (nvme2c2n1).
i=0
while [ $(ls /sys/block | grep -c -e '^sd' -e '^nvme[0-9]*n') -lt 6 ] && [ $i -lt 300 ]; do
  sleep 0.1
  i=$((i + 1))
done
ls /sys/block > $O/block.txt

# The peer reads every ATA disk once; its serial numbers tell which is
# which. The USB disk is the one below a USB port.
for d in /sys/block/sd*; do
  n=${d##*/}
  case $(readlink -f $d) in *usb*) usb=$n; continue ;; esac
  smartctl -i -A -H /dev/$n > $O/smartctl-$n.txt 2>&1
  serial=$(sed -n 's/^Serial Number: *//p' $O/smartctl-$n.txt)
  [ "$serial" = "$AHCI_SERIAL" ] && ahci=$n
  [ "$serial" = "$IDE_SERIAL" ] && ide=$n
done
# The NVMe controllers probe in parallel: the serial number of the
# controller (or subsystem) a namespace links to tells which is which.
for d in /sys/block/nvme*n*; do
  n=${d##*/}
  case $n in *c*) continue ;; esac
  l=$(readlink $d/device)
  serial=$(echo $(cat $d/device/serial))
  log "$n: ${l##*/}, serial '$serial', nsid $(cat $d/nsid)"
  [ "$serial" = "$NVME_SERIAL" ] && nvme=$n && nvmec=${l##*/}
  [ "$serial" = "$NVME_BAD_SERIAL" ] && bad=$n && badc=${l##*/}
  [ "$serial" = "$NVME_SHARED_SERIAL" ] && shared=$n
done
log "ahci=$ahci ide=$ide usb=$usb nvme=$nvme ($nvmec) bad=$bad ($badc) shared=$shared"
for v in ahci ide usb nvme bad shared; do eval echo \$$v > $O/$v.dev; done

cd /opt/kestrel

# Every disk with its transport; the USB disk answers no ATA command.
t0=$(now_us)
./kestrel-cli --list > $O/list.out 2> $O/list.err
echo $? > $O/list.rc
t1=$(now_us)
echo $((t1 - t0)) > $O/list.us

# The NVMe drive alone, twice, each time followed by the peer's reading of
# the same log; between the two the guest reads 16 MiB of the namespace.
./kestrel-cli /dev/$nvme > $O/nvme.txt 2> $O/nvme.txt.err
for k in 1 2; do
  ./kestrel-cli --json /dev/$nvme > $O/nvme-$k.out 2> $O/nvme-$k.err
  echo $? > $O/nvme-$k.rc
  smartctl -i -A /dev/$nvmec > $O/smartctl-nvme-$k.txt 2>&1
  [ $k = 1 ] && dd if=/dev/$nvme of=/dev/null bs=1M count=16 2> $O/dd.txt
done
# The controller with a critical warning.
./kestrel-cli --json /dev/$bad > $O/bad.out 2> $O/bad.err
echo $? > $O/bad.rc
smartctl -H -A /dev/$badc > $O/smartctl-bad.txt 2>&1

# SMART off on the IDE disk: the scan has to switch it on again.
smartctl -s off /dev/$ide > $O/smart-off.txt 2>&1
smartctl -A /dev/$ide > $O/smart-off-A.txt 2>&1
echo $? > $O/smart-off-A.rc

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
# second RETURN STATUS fails with an ATA error. The AHCI disk is told to
# spin down (STANDBY IMMEDIATE); after the watch's second period the
# drive itself says its power mode (CHECK POWER MODE).
while [ $(uptime_s) -lt $((start + 10)) ]; do sleep 0.2; done
smartctl -s off /dev/$ide > $O/smart-off-2.txt 2>&1
smartctl -s standby,now /dev/$ahci > $O/standby.txt 2>&1

while [ $(uptime_s) -lt $((start + 33)) ]; do sleep 0.2; done
smartctl -n standby -i /dev/$ahci > $O/standby-check.txt 2>&1
kill -TERM $watcher
wait $watcher
echo $? > $O/watch.rc

# The figures: a diagnosis of the AHCI disk, one of the NVMe drive, and a
# watch of both. The runs take turns, so that a slow moment of the host
# weighs on every command alike.
timed() {
  out=$1
  shift
  t0=$(now_us)
  "$@" > /dev/null 2>&1
  t1=$(now_us)
  echo $((t1 - t0)) >> $O/$out
}
k=0
while [ $k -lt $RUNS ]; do
  timed time-baseline.txt true
  timed time-kestrel.txt ./kestrel-cli --json /dev/$ahci
  timed time-smartctl.txt smartctl -i -A -H /dev/$ahci
  timed time-kestrel-nvme.txt ./kestrel-cli --json /dev/$nvme
  timed time-smartctl-nvme.txt smartctl -a /dev/$nvmec
  k=$((k + 1))
done

./kestrel-cli --watch --json /dev/$ahci /dev/$nvme > $O/rss-kestrel.out 2> $O/rss-kestrel.err &
pid=$!
sleep 4
cat /proc/$pid/status > $O/rss-kestrel.status
kill -INT $pid
wait $pid
echo $? > $O/rss-kestrel.rc

printf '/dev/%s -a\n/dev/%s -a\n' $ahci $nvmec > /tmp/smartd.conf
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
