#!/usr/bin/env bash
# A two-host network for end-to-end tests: namespaces NAME-pc and NAME-dev
# joined by one veth pair, with private addresses of our own. The host's own
# interfaces are never touched and nothing leaves the namespaces.
#
#   netbench.sh up NAME     create (after removing leftovers of a crashed run)
#   netbench.sh down NAME   remove; quiet when there is nothing to remove
#
# Addresses: PC 10.213.0.1/24 on veth-pc, device 10.213.0.2/24 on veth-dev.
# The PC namespace has a default route on its link, as a real PC has one, so
# sends to 255.255.255.255 leave by it.
set -euo pipefail

PC_ADDR=${PC_ADDR:-10.213.0.1/24}
DEV_ADDR=${DEV_ADDR:-10.213.0.2/24}

usage() { echo "usage: $0 up|down NAME" >&2; exit 2; }

[ $# -ge 2 ] || usage
cmd=$1 name=$2
pc="$name-pc" dev="$name-dev"

down() {
    ip netns del "$pc" 2>/dev/null || true
    ip netns del "$dev" 2>/dev/null || true
}

up() {
    if [ "$(id -u)" != 0 ]; then
        echo "netbench: creating network namespaces needs root" >&2
        exit 1
    fi
    down
    ip netns add "$pc"
    ip netns add "$dev"
    ip link add veth-pc netns "$pc" type veth peer name veth-dev netns "$dev"
    ip -n "$pc" addr add "$PC_ADDR" brd + dev veth-pc
    ip -n "$dev" addr add "$DEV_ADDR" brd + dev veth-dev
    for ns in "$pc" "$dev"; do
        ip -n "$ns" link set lo up
        # Answers from a device outside the PC's subnet must not be dropped.
        ip netns exec "$ns" sysctl -q -w net.ipv4.conf.all.rp_filter=0 net.ipv4.conf.default.rp_filter=0
    done
    ip netns exec "$pc" sysctl -q -w net.ipv4.conf.veth-pc.rp_filter=0
    ip netns exec "$dev" sysctl -q -w net.ipv4.conf.veth-dev.rp_filter=0
    ip -n "$pc" link set veth-pc up
    ip -n "$dev" link set veth-dev up
    ip -n "$pc" route add default dev veth-pc
}

case "$cmd" in
    up) up ;;
    down) down ;;
    *) usage ;;
esac
