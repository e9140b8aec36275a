#!/usr/bin/env bash
# A two-host network for end-to-end tests: namespaces NAME-pc and NAME-dev
# joined by one veth pair, with private addresses of our own. The host's own
# interfaces are never touched and nothing leaves the namespaces.
#
#   netbench.sh up NAME [--route onlink|none|gateway] [--second-interface]
#                                create (after removing leftovers of a crashed run)
#   netbench.sh down NAME        stop what runs inside and remove; quiet when absent
#   netbench.sh arp NAME on|off  the device answers ARP requests, or ignores them
#   netbench.sh clean            remove benches left by test processes that are gone
#   netbench.sh sim NAME [OPTIONS...]   run vyn-sim in NAME-dev in the foreground
#   netbench.sh pc [--as USER|--root] NAME COMMAND...   run a command in NAME-pc as SUDO_USER, USER or root
#
# Settings for `up` (environment):
#   PC_ADDR   10.213.0.1/24 on veth-pc, MAC PC_MAC  (02:76:79:6e:00:01)
#   DEV_ADDR  10.213.0.2/24 on veth-dev, MAC DEV_MAC (02:76:79:6e:00:02);
#             it may lie outside the PC's subnet: both sides treat every
#             address as on-link, as hosts on one LAN segment do.
#   DEV_ARP   on (default) or off
#   PC_ROUTE  (or --route) the PC's default route:
#             onlink   (default) straight out of veth-pc;
#             none     no default route, as a PC cabled straight to a device;
#             gateway  through GW_ADDR (10.213.0.254/24), a host in namespace
#                      NAME-gw that forwards nothing. PC, device and gateway
#                      share one segment (a bridge inside NAME-gw), so a
#                      device outside the PC's subnet hears ARP and broadcasts
#                      but datagrams routed to it end at the gateway.
#   PC_IFACES (or --second-interface: 2) 2 gives the PC a second interface,
#             veth-pc2 with PC2_ADDR (10.214.0.1/24), made before veth-pc and
#             joined to namespace NAME-lan (veth-lan, LAN_ADDR 10.214.0.2/24),
#             where no device lives.
#   VYN_SIM   the simulator for `sim` (default: build/bin/vyn-sim)
#
# With the default route on its link, sends to 255.255.255.255 leave by it. The device namespace takes datagrams
# for any destination address that arrive on veth-dev (a device learns its new
# address from a datagram sent to that address through a static ARP entry),
# but answers ARP only for the address it really has.
set -euo pipefail

PC_ADDR=${PC_ADDR:-10.213.0.1/24}
DEV_ADDR=${DEV_ADDR:-10.213.0.2/24}
PC_MAC=${PC_MAC:-02:76:79:6e:00:01}
DEV_MAC=${DEV_MAC:-02:76:79:6e:00:02}
DEV_ARP=${DEV_ARP:-on}
PC_ROUTE=${PC_ROUTE:-onlink}
GW_ADDR=${GW_ADDR:-10.213.0.254/24}
PC_IFACES=${PC_IFACES:-1}
PC2_ADDR=${PC2_ADDR:-10.214.0.1/24}
LAN_ADDR=${LAN_ADDR:-10.214.0.2/24}
ANY_ADDR_TABLE=213
here=$(cd "$(dirname "$0")" && pwd)

usage() {
    sed -n '6,12p' "$0" | sed 's/^# *//' >&2
    exit 2
}

need_root() {
    if [ "$(id -u)" != 0 ]; then
        echo "netbench: network namespaces need root" >&2
        exit 1
    fi
}

exists() { [ -e "/run/netns/$1" ]; }

# A new namespace that takes no part in IPv6, set before any of its links
# exist: the kernel would otherwise add link-local addresses and routes of
# its own a second or two after each link comes up (when duplicate address
# detection ends), changing the tables under whoever reads them.
add_ns() {
    ip netns add "$1"
    if [ -d /proc/sys/net/ipv6 ]; then
        ip netns exec "$1" sysctl -q -w net.ipv6.conf.all.disable_ipv6=1 net.ipv6.conf.default.disable_ipv6=1
    fi
}

# Ends what still runs inside a namespace (a simulator of a crashed test):
# `ip netns del` alone would leave the namespace alive around it.
stop_inside() {
    local ns=$1 pids
    exists "$ns" || return 0
    pids=$(ip netns pids "$ns" 2>/dev/null || true)
    [ -n "$pids" ] || return 0
    kill -TERM $pids 2>/dev/null || true
    for _ in 1 2 3 4 5 6 7 8 9 10; do
        pids=$(ip netns pids "$ns" 2>/dev/null || true)
        [ -n "$pids" ] || return 0
        sleep 0.1
    done
    kill -KILL $pids 2>/dev/null || true
}

down() {
    local name=$1
    for ns in "$name-pc" "$name-dev" "$name-gw" "$name-lan"; do
        stop_inside "$ns"
        ip netns del "$ns" 2>/dev/null || true
    done
}

set_arp() {
    local name=$1 mode=$2 pc_ip=${PC_ADDR%/*} pc_mac
    case "$mode" in
        on)
            ip -n "$name-dev" link set veth-dev arp on
            ip -n "$name-dev" neigh del "$pc_ip" dev veth-dev 2>/dev/null || true
            ;;
        off)
            # A device that ignores ARP still has to reach the PC: it knows
            # the PC's MAC from a static entry, as if it had learnt it earlier.
            pc_mac=$(ip -n "$name-pc" -br link show veth-pc | awk '{print $3}')
            ip -n "$name-dev" link set veth-dev arp off
            ip -n "$name-dev" neigh replace "$pc_ip" lladdr "$pc_mac" dev veth-dev nud permanent
            ;;
        *) usage ;;
    esac
}

up() {
    local name=$1 pc="$1-pc" dev="$1-dev" gw="$1-gw" lan="$1-lan"
    need_root
    case "$PC_ROUTE" in onlink|none|gateway) ;; *) usage ;; esac
    case "$PC_IFACES" in 1|2) ;; *) usage ;; esac
    down "$name"
    add_ns "$pc"
    add_ns "$dev"
    if [ "$PC_IFACES" = 2 ]; then
        # Made first, so that the device's interface is not the first one.
        add_ns "$lan"
        ip link add veth-pc2 netns "$pc" type veth peer name veth-lan netns "$lan"
        ip -n "$pc" addr add "$PC2_ADDR" brd + dev veth-pc2
        ip -n "$lan" addr add "$LAN_ADDR" brd + dev veth-lan
        ip -n "$lan" link set lo up
        ip -n "$lan" link set veth-lan up
        ip -n "$pc" link set veth-pc2 up
    fi
    if [ "$PC_ROUTE" = gateway ]; then
        add_ns "$gw"
        ip -n "$gw" link add br0 type bridge forward_delay 0 stp_state 0
        ip link add veth-pc netns "$pc" address "$PC_MAC" type veth peer name gw-pc netns "$gw"
        ip link add veth-dev netns "$dev" address "$DEV_MAC" type veth peer name gw-dev netns "$gw"
        for port in gw-pc gw-dev; do
            ip -n "$gw" link set "$port" master br0
            ip -n "$gw" link set "$port" up
        done
        ip -n "$gw" addr add "$GW_ADDR" brd + dev br0
        ip -n "$gw" link set lo up
        ip -n "$gw" link set br0 up
        ip netns exec "$gw" sysctl -q -w net.ipv4.ip_forward=0
    else
        ip link add veth-pc netns "$pc" address "$PC_MAC" type veth \
            peer name veth-dev netns "$dev" address "$DEV_MAC"
    fi
    ip -n "$pc" addr add "$PC_ADDR" brd + dev veth-pc
    ip -n "$dev" addr add "$DEV_ADDR" brd + dev veth-dev
    for ns in "$pc" "$dev"; do
        ip -n "$ns" link set lo up
        # Answers from a device outside the PC's subnet must not be dropped.
        ip netns exec "$ns" sysctl -q -w net.ipv4.conf.all.rp_filter=0 net.ipv4.conf.default.rp_filter=0
    done
    ip netns exec "$pc" sysctl -q -w net.ipv4.conf.veth-pc.rp_filter=0
    ip netns exec "$dev" sysctl -q -w net.ipv4.conf.veth-dev.rp_filter=0 \
        net.ipv4.conf.veth-dev.arp_ignore=1 net.ipv4.conf.veth-dev.promote_secondaries=1
    ip -n "$pc" link set veth-pc up
    ip -n "$dev" link set veth-dev up
    case "$PC_ROUTE" in
        onlink) ip -n "$pc" route add default dev veth-pc ;;
        gateway) ip -n "$pc" route add default via "${GW_ADDR%/*}" dev veth-pc ;;
        none) ;;
    esac
    ip -n "$dev" route add default dev veth-dev
    ip -n "$dev" rule add iif veth-dev lookup "$ANY_ADDR_TABLE" pref 100
    ip -n "$dev" route add local 0.0.0.0/0 dev lo table "$ANY_ADDR_TABLE"
    set_arp "$name" "$DEV_ARP"
}

# Test benches are named vyn<tag>-<pid>-<n>-pc/-dev by the process that made
# them; a bench whose process is gone is a leftover of a crashed run.
clean() {
    local ns pid
    [ "$(id -u)" = 0 ] || return 0
    for ns in $(ip netns list 2>/dev/null | awk '{print $1}'); do
        if [[ $ns =~ ^vyn[A-Za-z0-9_]*-([0-9]+)-[0-9]+-(pc|dev|gw|lan)$ ]]; then
            pid=${BASH_REMATCH[1]}
            if [ ! -d "/proc/$pid" ]; then
                stop_inside "$ns"
                ip netns del "$ns" 2>/dev/null || true
            fi
        fi
    done
}

[ $# -ge 1 ] || usage
cmd=$1
shift
case "$cmd" in
    up)
        [ $# -ge 1 ] || usage
        name=$1
        shift
        while [ $# -gt 0 ]; do
            case "$1" in
                --route) [ $# -ge 2 ] || usage; PC_ROUTE=$2; shift 2 ;;
                --second-interface) PC_IFACES=2; shift ;;
                *) usage ;;
            esac
        done
        up "$name"
        ;;
    down) [ $# -eq 1 ] || usage; down "$1" ;;
    arp) [ $# -eq 2 ] || usage; need_root; set_arp "$1" "$2" ;;
    clean) clean ;;
    sim)
        [ $# -ge 1 ] || usage
        need_root
        name=$1
        shift
        exec ip netns exec "$name-dev" "${VYN_SIM:-$here/../build/bin/vyn-sim}" "$@"
        ;;
    pc)
        # The command runs as the user who called sudo (or the one named),
        # so the files it writes (the program's vyn.ini) stay that user's.
        # --root keeps root, which the program itself never needs: only the
        # static ARP way needs rights, and those are the helper's (given by
        # setcap, or had by any program root starts).
        user=${SUDO_USER:-}
        while [ $# -gt 0 ]; do
            case "$1" in
                --as) [ $# -ge 2 ] || usage; user=$2; shift 2 ;;
                --root) user=; shift ;;
                *) break ;;
            esac
        done
        [ $# -ge 2 ] || usage
        need_root
        name=$1
        shift
        if [ -z "$user" ] || [ "$user" = root ]; then
            exec ip netns exec "$name-pc" "$@"
        fi
        entry=$(getent passwd "$user") || { echo "netbench: no user $user" >&2; exit 1; }
        IFS=: read -r _ _ uid gid _ home _ <<<"$entry"
        exec ip netns exec "$name-pc" setpriv --reuid="$uid" --regid="$gid" --init-groups -- \
            env HOME="$home" USER="$user" LOGNAME="$user" "$@"
        ;;
    *) usage ;;
esac
