"""The ModemManager backend's figures beside the AT backend's: bench_modem (query to result,
CPU per polling cycle of ril.dll) through the bridge, on a private bus where python3-dbusmock
plays ModemManager, then on the modem simulator; and the bridge's own CPU per cycle.

    source tools/env.sh && kestrel_display && kestrel_wineserver
    /usr/bin/python3 bench/mmbridge_bench.py [CYCLES]

The mock answers D-Bus from Python, more slowly than ModemManager itself: its time is in the
query figures, its CPU is printed apart.
"""
import os
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, 'ce', 'mmbridge', 'tests'))
from private_modemmanager import PrivateModemManager  # noqa: E402

BUILD = os.environ.get('KESTREL_BUILD', os.path.join(ROOT, 'build'))
MODEM = {
    'Modem.Manufacturer': 'Quectel', 'Modem.Model': 'EM12', 'Modem.DeviceIdentifier': 'bench',
    'Modem.State': 8, 'Modem.PowerState': 3, 'Modem.AccessTechnologies': 1 << 14,
    'Modem3gpp.RegistrationState': 1, 'Modem3gpp.OperatorCode': '23001',
    'location': '230,01,0000,3E9,0064', 'Signal.Lte': {'rsrp': -95.0},
    'cells': [{'cell-type': 5, 'serving': True, 'tac': '64', 'ci': '3E9', 'earfcn': 6300}],
}


def cpu_seconds(pid):
    with open('/proc/%d/stat' % pid) as f:
        fields = f.read().rsplit(')', 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf('SC_CLK_TCK')


def bench_modem(*args):
    done = subprocess.run(['wine', os.path.join(BUILD, 'bin', 'bench_modem.exe')] + list(args),
                          capture_output=True, text=True, stdin=subprocess.DEVNULL)
    return done.stdout + done.stderr


def main():
    cycles = sys.argv[1] if len(sys.argv) > 1 else '300'
    mm = PrivateModemManager()
    try:
        mm.start()
        mm.add_modem(0, MODEM)
        port = mm.start_bridge(os.path.join(BUILD, 'native', 'mmbridge'))
        bridge, mock = cpu_seconds(mm.bridge.pid), cpu_seconds(mm.mock.pid)
        print('Through the ModemManager bridge:')
        print(bench_modem(cycles, 'tcp:127.0.0.1:%d' % port), end='')
        bridge = cpu_seconds(mm.bridge.pid) - bridge
        mock = cpu_seconds(mm.mock.pid) - mock
        print('  the bridge\'s CPU time per polling cycle: %.3f ms (clock ticks of %.0f ms)'
              % (bridge * 1e3 / int(cycles), 1e3 / os.sysconf('SC_CLK_TCK')))
        print('  the mock ModemManager\'s CPU time per polling cycle: %.3f ms'
              % (mock * 1e3 / int(cycles)))
    finally:
        mm.close()
    print('On the modem simulator (AT backend):')
    print(bench_modem(cycles), end='')


if __name__ == '__main__':
    main()
