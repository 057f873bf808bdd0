"""tools/modem-ports.sh on pseudo-terminals that play an AT modem, an NMEA stream, a binary
stream and a silent port, with ModemManager (played on a private bus) using one AT port.

    python3 modem_ports_test.py BUILD_FOLDER
"""
import os
import pty
import subprocess
import sys
import threading
import tty
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, '..', '..', 'ce', 'mmbridge', 'tests'))
from private_modemmanager import PrivateModemManager  # noqa: E402

SCRIPT = os.path.join(HERE, '..', 'modem-ports.sh')
BUILD = None


def play_modem(master):
    pending = b''
    answers = {b'AT+CGMI': b'Quectel\r\n\r\nOK', b'AT+CGMM': b'EG25\r\n\r\nOK'}
    while True:
        pending += os.read(master, 256)
        while b'\r' in pending:
            line, pending = pending.split(b'\r', 1)
            line = line.strip()
            if line:
                os.write(master, b'\r\n' + answers.get(line.upper(), b'OK') + b'\r\n')


def play_nmea(master):
    while True:
        os.write(master, b'$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n'
                         b'$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A\r\n')


def play_binary(master):
    while True:
        os.write(master, os.urandom(512))


class Port:
    '''A pseudo-terminal whose far end plays a port; its device is path.'''

    def __init__(self, play=None):
        self.master, self.slave = pty.openpty()
        tty.setraw(self.slave)
        self.path = os.ttyname(self.slave)
        if play:
            threading.Thread(target=self._run, args=(play,), daemon=True).start()

    def _run(self, play):
        try:
            play(self.master)
        except OSError:
            pass  # closed at the end of the test

    def close(self):
        os.close(self.slave)
        os.close(self.master)


class ModemPorts(unittest.TestCase):
    def setUp(self):
        self.mm = PrivateModemManager()
        self.addCleanup(self.mm.close)
        self.mm.start()

    def port(self, play=None):
        port = Port(play)
        self.addCleanup(port.close)
        return port.path

    def run_script(self, *args):
        env = dict(os.environ, KESTREL_BUILD=BUILD, DBUS_SYSTEM_BUS_ADDRESS=self.mm.address)
        return subprocess.run(['bash', SCRIPT] + list(args), capture_output=True, text=True,
                              env=env, stdin=subprocess.DEVNULL, timeout=120)

    def test_lists_what_each_port_is_and_picks_the_at_port_modemmanager_leaves(self):
        taken, free = self.port(play_modem), self.port(play_modem)
        gps, diagnostic, silent = self.port(play_nmea), self.port(play_binary), self.port()
        self.mm.add_modem(0, {'Modem.Ports': [[taken[len('/dev/'):], 3], ['wwan0', 2]]})

        listed = self.run_script('list', taken, free, gps, diagnostic, silent)
        self.assertEqual(0, listed.returncode, listed.stderr)
        lines = dict(line.split('\t', 1) for line in listed.stdout.splitlines())
        self.assertEqual("in ModemManager's use (its at port of Modem/0)", lines[taken])
        self.assertEqual('AT port: Quectel EG25', lines[free])
        self.assertEqual("nmea: NMEA sentences: the modem's GPS port, try another", lines[gps])
        self.assertTrue(lines[diagnostic].startswith('binary: binary data'), lines[diagnostic])
        self.assertEqual('silent: the modem does not answer AT', lines[silent])

        chosen = self.run_script('auto', taken, gps, free)
        self.assertEqual(0, chosen.returncode, chosen.stderr)
        self.assertEqual(free, chosen.stdout.strip())

    def test_says_why_when_no_at_port_is_free(self):
        taken, gps = self.port(play_modem), self.port(play_nmea)
        self.mm.add_modem(0, {'Modem.Ports': [[taken[len('/dev/'):], 3]]})
        refused = self.run_script('auto', taken, gps, '/dev/no-such-port')
        self.assertEqual(1, refused.returncode)
        self.assertEqual('', refused.stdout)
        self.assertIn('/dev/no-such-port: no such device', refused.stderr)
        self.assertIn('tools/mm-port-ignore.sh add DEVICE', refused.stderr)
        self.assertIn('--modem mm', refused.stderr)


if __name__ == '__main__':
    BUILD = sys.argv.pop(1)
    unittest.main()
