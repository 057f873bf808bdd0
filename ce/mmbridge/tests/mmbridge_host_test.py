"""The real item in the scripted Today host, its radio read from ModemManager through the
bridge: the cells shown and logged, ModemManager restarted, the modem removed and back, and a
modem on standalone 5G.

    python3 mmbridge_host_test.py PATH/TO/mmbridge BIN_FOLDER DEVICE_ROOT

Run where the tests run (tools/test.sh): WINEPREFIX, a display and the wineserver set up.
"""
import os
import subprocess
import sys
import tempfile
import unittest

from private_modemmanager import PrivateModemManager, until

BRIDGE = BIN = DEVICE = None
ITEMS = r'Software\KestrelTest\MmTodayItems'
SETTINGS = r'HKEY_LOCAL_MACHINE\Software\Microsoft\Today\Items\Kestrel'
LOG = 'mm_host_log.txt'

MODEM = {
    'Modem.Manufacturer': 'Quectel', 'Modem.Model': 'EM12', 'Modem.DeviceIdentifier': 'kestrel-1',
    'Modem.State': 8, 'Modem.PowerState': 3, 'Modem.AccessTechnologies': 1 << 14,
    'Modem3gpp.RegistrationState': 1, 'Modem3gpp.OperatorCode': '23001',
    'location': '230,01,0000,3E9,0064', 'Signal.Lte': {'rsrp': -95.0},
    'cells': [{'cell-type': 5, 'serving': True, 'tac': '64', 'ci': '3E9', 'earfcn': 6300}],
}
AFTER_RESTART = dict(MODEM, location='230,01,0000,3EA,0065',
                     cells=[{'cell-type': 5, 'serving': True, 'tac': '65', 'ci': '3EA',
                             'earfcn': 1300}])
# Plugged in again on UMTS: the circuit registration names the cell.
REPLUGGED = dict(MODEM, **{'Modem.AccessTechnologies': 1 << 5, 'location': '230,01,0066,3EB,0000',
                           'Signal.Lte': {}, 'Signal.Umts': {'rssi': -71.0},
                           'cells': [{'cell-type': 3, 'serving': True, 'lac': '66', 'ci': '3EB',
                                      'uarfcn': 10700}]})
# Then on NR alone: a 24-bit TAC and a 36-bit cell identity.
NR_ALONE = dict(REPLUGGED, **{'Modem.AccessTechnologies': 1 << 15,
                              'location': '230,01,0000,ABCDEF012,01E240', 'Signal.Umts': {},
                              'Signal.Nr5g': {'rsrp': -80.0},
                              'cells': [{'cell-type': 6, 'serving': True, 'tac': '1E240',
                                         'ci': 'ABCDEF012', 'nrarfcn': 627264}]})


def winpath(path):
    return 'Z:' + os.path.abspath(path).replace('/', '\\')


def wine(*args, **kwargs):
    return subprocess.Popen(['wine'] + list(args), cwd=DEVICE, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL, **kwargs)


class ItemOnModemManager(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.TemporaryDirectory(prefix='kestrel-mmhost-')
        self.addCleanup(self.folder.cleanup)
        self.out = os.path.join(self.folder.name, 'out')
        os.mkdir(self.out)
        self.log = os.path.join(DEVICE, LOG)
        if os.path.exists(self.log):
            os.remove(self.log)
        reg = os.path.join(self.folder.name, 'item.reg')
        dll = winpath(os.path.join(BIN, 'KestrelToday.dll')).replace('\\', '\\\\')
        with open(reg, 'w') as f:
            f.write('REGEDIT4\n\n[-%s]\n\n[%s]\n"CheckInterval"=dword:00000001\n"LogFilePath"="%s"\n\n'
                    '[HKEY_LOCAL_MACHINE\\%s\\Kestrel]\n"Type"=dword:00000004\n'
                    '"Enabled"=dword:00000001\n"DLL"="%s"\n'
                    % (SETTINGS, SETTINGS, LOG, ITEMS, dll))
        self.assertEqual(0, wine('regedit', '/S', winpath(reg)).wait(60))
        self.mm = PrivateModemManager()
        self.addCleanup(self.mm.close)

    def log_text(self):
        try:
            with open(self.log, 'rb') as f:
                return f.read().decode('utf-16-le', errors='ignore')
        except FileNotFoundError:
            return ''

    def shown(self, name):
        '''Lets the host's script go on to its "text NAME" step; the transcript. A cell in the
        log may have come in a cycle whose signal was read before the change: after three more
        reads of the signal (a cycle reads it once or twice), the item has one read after it.'''
        reads = self.mm.signal_reads()
        until(lambda: self.mm.signal_reads() >= reads + 3, 'the signal read again')
        open(os.path.join(self.out, 'go-' + name), 'w').close()
        path = os.path.join(self.out, name)
        until(lambda: os.path.exists(path), name + ' from the host')
        with open(path, encoding='utf-8') as f:
            return f.read()

    def test_cells_are_shown_and_logged_across_a_restart_and_a_replug(self):
        self.mm.start()
        self.mm.add_modem(0, MODEM)
        port = self.mm.start_bridge(BRIDGE)
        script = os.path.join(self.folder.name, 'host.script')
        with open(script, 'w') as f:
            f.write('wait 300\ncommand Kestrel 40007\ncommand Kestrel 40006\n'
                    'until go-first.txt 120000\ntext first.txt\n'
                    'until go-replugged.txt 120000\ntext replugged.txt\n'
                    'until go-last.txt 120000\ntext last.txt\nquit\n')
        host = wine(os.path.join(BIN, 'todayhost.exe'), '--items', ITEMS, '--script',
                    winpath(script), '--out', winpath(self.out),
                    env=dict(os.environ, KESTREL_RIL_PORT='tcp:127.0.0.1:%d' % port))
        self.addCleanup(lambda: host.poll() is None and host.kill())

        until(lambda: ';100;1001;6300;' in self.log_text(), 'first cell in the log')
        first = self.shown('first.txt')
        self.assertIn('\tCell Id: 1001 LAC: 100 BCCH: 6300\n', first)
        self.assertIn('\tNet Id: 23001 ', first)
        self.assertIn('\t-95/-44 minimum=-141\n', first)

        # ModemManager restarted: the backend finds no modem, then resumes by itself.
        seen = self.mm.bridge_log.count()
        self.mm.stop()
        self.mm.bridge_log.wait('no modem to read', seen)
        self.mm.start()
        self.mm.add_modem(0, AFTER_RESTART)
        until(lambda: ';101;1002;1300;' in self.log_text(), 'the cell after the restart in the log')

        # The modem unplugged and plugged in again, under a new index.
        seen = self.mm.bridge_log.count()
        self.mm.remove_modem(0)
        self.mm.bridge_log.wait('no modem to read', seen)
        self.mm.add_modem(1, REPLUGGED)
        until(lambda: ';102;1003;10700;' in self.log_text(), 'the cell after the replug in the log')
        replugged = self.shown('replugged.txt')
        self.assertIn('\tCell Id: 1003 LAC: 102 BCCH: 10700\n', replugged)
        self.assertIn('\t-71/-51 minimum=-113\n', replugged)

        # Standalone 5G: the TAC as the area, the NR-ARFCN as the channel, no cell id.
        self.mm.set_modem(1, NR_ALONE)
        until(lambda: ';123456;-1;627264;' in self.log_text(), 'the NR cell in the log')
        last = self.shown('last.txt')
        self.assertIn('\tCell Id: -1 LAC: 123456 BCCH: 627264\n', last)
        self.assertIn('\t-80/-31 minimum=-156\n', last)
        self.assertEqual(0, host.wait(60))
        self.assertIn('23001', self.log_text())


if __name__ == '__main__':
    BRIDGE, BIN, DEVICE = sys.argv[1:4]
    del sys.argv[1:4]
    unittest.main()
