# Home routers in network namespaces of the test's own, for a test to
# source: a "wan" namespace holds a bridge (the internet); a home is a
# router namespace with its WAN side on that bridge and a LAN with one
# machine behind it, masquerading on the WAN and letting nothing new in,
# optionally running miniupnpd (UPnP IGD and NAT-PMP) with a
# configuration of the test's own. Everything is made with veth pairs
# inside the namespaces and never touches the machine's own interfaces.
# The WAN addresses look public (81.2.69.0/24): miniupnpd maps nothing
# for a private or documentation WAN address.
#
#   hr_start                   the WAN; exits 77 (skip) where namespaces
#                              cannot be made
#   hr_home N [random]         home N: router ${HR}rN at 81.2.69.N, its LAN
#                              192.168.N.0/24, machine ${HR}hN at
#                              192.168.N.2; "random": the NAT randomises
#                              source ports
#   hr_outside NAME ADDRESS    a machine ${HR}NAME on the WAN itself
#   hr_upnpd N UPNP NATPMP [refuse]
#                              miniupnpd on router N (yes/no each);
#                              "refuse": it maps nothing, but still tells
#                              its outside address
#   hr_upnpd_stop N            ends router N's miniupnpd
#   hr_mappings N              the mappings router N holds now (count)
#   hr_cleanup                 kills the daemons, removes the namespaces
# Every daemon started here is killed by pid in hr_cleanup; the sourcing
# test calls it from its EXIT trap.

HR=zh$$
HR_WORK=$(mktemp -d)
HR_PIDS=()
HR_NAMES=()
declare -A HR_UPNPD=()

hr_cleanup() {
  local p n
  for p in "${HR_PIDS[@]}"; do kill "$p" 2>/dev/null || true; done
  for p in "${HR_PIDS[@]}"; do
    for _ in $(seq 50); do kill -0 "$p" 2>/dev/null || break; sleep 0.05; done
    kill -9 "$p" 2>/dev/null || true
  done
  for n in "${HR_NAMES[@]}"; do ip netns del "$n" 2>/dev/null || true; done
  rm -rf "$HR_WORK"
}

hr_ns() {
  ip netns add "$1" || return 1
  HR_NAMES+=("$1")
  ip -n "$1" link set lo up
}

hr_start() {
  if ! command -v nft >/dev/null || ! command -v miniupnpd >/dev/null; then
    echo "SKIP: nft or miniupnpd missing (scripts/deps.sh test installs them)"
    exit 77
  fi
  if ! hr_ns "${HR}wan" 2>/dev/null; then
    echo "SKIP: cannot make network namespaces here"
    exit 77
  fi
  ip -n "${HR}wan" link add inet type bridge
  ip -n "${HR}wan" link set inet up
}

# hr_plug NS IFNAME: a veth from the WAN bridge into NS, named IFNAME there.
hr_plug() {
  ip link add "$1" netns "${HR}wan" type veth peer name "$2" netns "$1"
  ip -n "${HR}wan" link set "$1" master inet up
  ip -n "$1" link set "$2" up
}

hr_outside() {
  hr_ns "$HR$1"
  hr_plug "$HR$1" eth0
  ip -n "$HR$1" addr add "$2/24" dev eth0
}

hr_home() {
  local n=$1 r="${HR}r$1" h="${HR}h$1" masq=masquerade
  [[ ${2:-} == random ]] && masq="masquerade random,fully-random"
  hr_ns "$r"
  hr_ns "$h"
  hr_plug "$r" wan
  ip -n "$r" addr add "81.2.69.$n/24" dev wan
  ip link add lan netns "$r" type veth peer name eth0 netns "$h"
  ip -n "$r" addr add "192.168.$n.1/24" dev lan
  ip -n "$r" link set lan up
  ip -n "$h" addr add "192.168.$n.2/24" dev eth0
  ip -n "$h" link set eth0 up
  ip -n "$h" route add default via "192.168.$n.1"
  ip netns exec "$r" sysctl -qw net.ipv4.ip_forward=1
  # What a home router does: out from the LAN under its own address,
  # nothing new in but what miniupnpd maps (its chains, filled by it); not
  # to itself either, so that no unanswered datagram from outside holds
  # the outside port a LAN machine's datagrams would go out from.
  ip netns exec "$r" nft -f - <<EOF
table inet zt {
  chain input {
    type filter hook input priority 0; policy accept;
    iifname "wan" ct state established,related accept
    iifname "wan" drop
  }
  chain forward {
    type filter hook forward priority 0; policy drop;
    ct state established,related accept
    iifname "lan" oifname "wan" accept
    jump miniupnpd
  }
  chain miniupnpd {
  }
  chain prerouting {
    type nat hook prerouting priority -100; policy accept;
    jump prerouting_miniupnpd
  }
  chain postrouting {
    type nat hook postrouting priority 100; policy accept;
    jump postrouting_miniupnpd
    oifname "wan" $masq
  }
  chain prerouting_miniupnpd {
  }
  chain postrouting_miniupnpd {
  }
}
EOF
}

hr_upnpd() {
  local n=$1 r="${HR}r$1" conf="$HR_WORK/miniupnpd$1.conf"
  cat >"$conf" <<EOF
ext_ifname=wan
listening_ip=lan
http_port=0
enable_upnp=$2
enable_natpmp=$3
secure_mode=yes
system_uptime=yes
ipv6_disable=yes
notify_interval=60
uuid=3d3cec3a-8cf0-11e0-98ee-0000000$n
upnp_table_name=zt
upnp_nat_table_name=zt
upnp_forward_chain=miniupnpd
upnp_nat_chain=prerouting_miniupnpd
upnp_nat_postrouting_chain=postrouting_miniupnpd
EOF
  [[ ${4:-} == refuse ]] || echo "allow 1024-65535 192.168.$n.0/24 1024-65535" >>"$conf"
  echo "deny 0-65535 0.0.0.0/0 0-65535" >>"$conf"
  # -d: in the foreground, so that the pid is its own.
  ip netns exec "$r" miniupnpd -d -f "$conf" -P "$HR_WORK/miniupnpd$1.pid" \
    >"$HR_WORK/miniupnpd$1.log" 2>&1 &
  HR_PIDS+=($!)
  HR_UPNPD[$n]=$!
  # Ready once it listens for NAT-PMP (UDP 5351) or SSDP (UDP 1900).
  for _ in $(seq 100); do
    ip netns exec "$r" ss -Hlun 2>/dev/null | grep -qE ':(5351|1900)\b' && return 0
    sleep 0.05
  done
  echo "miniupnpd did not start: $(cat "$HR_WORK/miniupnpd$1.log")"
  return 1
}

hr_upnpd_stop() {
  local p=${HR_UPNPD[$1]:-}
  [[ -n $p ]] || return 0
  kill "$p" 2>/dev/null || true
  for _ in $(seq 100); do kill -0 "$p" 2>/dev/null || break; sleep 0.05; done
  unset "HR_UPNPD[$1]"
}

hr_mappings() {
  ip netns exec "${HR}r$1" nft list chain inet zt prerouting_miniupnpd 2>/dev/null |
    grep -c ' dnat ' || true
}
