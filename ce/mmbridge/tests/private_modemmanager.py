"""A private D-Bus with ModemManager played by python-dbusmock, and the bridge on it."""
import json
import os
import re
import socket
import subprocess
import tempfile
import threading
import time

import dbus

HERE = os.path.dirname(os.path.abspath(__file__))
MM = 'org.freedesktop.ModemManager1'
MM_PATH = '/org/freedesktop/ModemManager1'
# Every wait below is for an event (a line, a name on the bus); this only bounds it.
BOUND_S = 30


def until(condition, what):
    '''Waits for condition() to hold, at most BOUND_S.'''
    deadline = time.monotonic() + BOUND_S
    while not condition():
        if time.monotonic() > deadline:
            raise AssertionError('no ' + what + ' within %d s' % BOUND_S)
        time.sleep(0.02)


class Lines:
    '''The lines a process writes to a pipe, kept as they come.'''

    def __init__(self, pipe):
        self.lines = []
        self.lock = threading.Condition()
        threading.Thread(target=self._read, args=(pipe,), daemon=True).start()

    def _read(self, pipe):
        for line in iter(pipe.readline, ''):
            with self.lock:
                self.lines.append(line.rstrip('\n'))
                self.lock.notify_all()

    def wait(self, pattern, start=0):
        '''The index of the first line from start that matches; waits for it.'''
        with self.lock:
            deadline = time.monotonic() + BOUND_S
            while True:
                for i in range(start, len(self.lines)):
                    if re.search(pattern, self.lines[i]):
                        return i
                left = deadline - time.monotonic()
                if left <= 0:
                    raise AssertionError('no line /%s/ in %s' % (pattern, self.lines))
                self.lock.wait(left)

    def count(self):
        with self.lock:
            return len(self.lines)


class PrivateModemManager:
    '''dbus-daemon on a socket of its own, the mock on it, and the bridge.'''

    def __init__(self):
        self.folder = tempfile.TemporaryDirectory(prefix='kestrel-mm-')
        self.bus = subprocess.Popen(
            ['dbus-daemon', '--session', '--nofork', '--print-address=1',
             '--address=unix:path=' + os.path.join(self.folder.name, 'bus')],
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        self.address = self.bus.stdout.readline().strip()
        self.connection = dbus.bus.BusConnection(self.address)
        self.mock = None
        self.mock_log = None
        self.starts = 0
        self.bridge = None
        self.bridge_log = None

    def start(self):
        '''ModemManager comes onto the bus, with no modem yet.'''
        env = dict(os.environ, DBUS_SYSTEM_BUS_ADDRESS=self.address)
        self.starts += 1
        self.mock_log = os.path.join(self.folder.name, 'mock-%d.log' % self.starts)
        self.mock = subprocess.Popen(
            ['/usr/bin/python3', '-m', 'dbusmock', '--system', '-l', self.mock_log, '--template',
             os.path.join(HERE, 'modemmanager_mock.py')],
            env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        until(lambda: self.connection.name_has_owner(MM), 'ModemManager on the bus')
        until(self._answers, 'ModemManager answering')

    def _answers(self):
        try:
            self._control().GetCalls()
            return True
        except dbus.exceptions.DBusException:
            return False

    def stop(self):
        '''ModemManager leaves the bus, as when it is stopped or restarted.'''
        self.mock.terminate()
        self.mock.wait(BOUND_S)
        self.mock = None
        until(lambda: not self.connection.name_has_owner(MM), 'ModemManager gone')

    def signal_reads(self):
        '''How often the modem's signal was read since ModemManager last started.'''
        try:
            with open(self.mock_log) as f:
                return sum('.Modem.Signal.Gsm' in line for line in f)
        except FileNotFoundError:
            return 0

    def _control(self):
        return dbus.Interface(self.connection.get_object(MM, MM_PATH), 'org.freedesktop.DBus.Mock')

    def add_modem(self, index, values):
        self._control().AddModem(index, json.dumps(values))

    def set_modem(self, index, values):
        self._control().SetModem(index, json.dumps(values))

    def remove_modem(self, index):
        self._control().RemoveModem(index)

    def modem_property(self, index, interface, name):
        modem = self.connection.get_object(MM, MM_PATH + '/Modem/' + str(index))
        return modem.Get(MM + '.Modem.' + interface, name, dbus_interface=dbus.PROPERTIES_IFACE)

    def start_bridge(self, program, *options):
        '''The bridge on a free port; returns the port.'''
        self.bridge = subprocess.Popen(
            [program, '--bus', self.address, '--port', '0'] + list(options),
            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        first = self.bridge.stdout.readline()
        self.bridge_log = Lines(self.bridge.stderr)
        found = re.search(r'127\.0\.0\.1:(\d+)', first)
        if not found:
            raise AssertionError('the bridge did not start: ' + first)
        return int(found.group(1))

    def close(self):
        for process in (self.bridge, self.mock, self.bus):
            if process and process.poll() is None:
                process.terminate()
                process.wait(BOUND_S)
        for pipe in (self.bus.stdout, self.bridge and self.bridge.stdout,
                     self.bridge and self.bridge.stderr):
            if pipe:
                pipe.close()
        self.connection.close()
        self.folder.cleanup()


class AtClient:
    '''One connection to the bridge, as ril.dll's backend makes it.'''

    def __init__(self, port):
        self.socket = socket.create_connection(('127.0.0.1', port), timeout=BOUND_S)
        self.pending = b''

    def ask(self, command):
        '''The answer's lines before its final result, and the result; None when closed.'''
        try:
            self.socket.sendall(command.encode() + b'\r')
        except OSError:
            return None
        lines = []
        while True:
            while b'\r\n' not in self.pending:
                data = self.socket.recv(4096)
                if not data:
                    return None
                self.pending += data
            line, self.pending = self.pending.split(b'\r\n', 1)
            line = line.decode()
            if line in ('OK', 'ERROR'):
                return lines, line
            if line:
                lines.append(line)

    def closed_by_peer(self):
        '''True once the bridge has closed this connection.'''
        try:
            return self.socket.recv(1) == b''
        except ConnectionResetError:
            return True

    def close(self):
        self.socket.close()
