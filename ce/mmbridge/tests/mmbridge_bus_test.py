"""The bridge on ModemManager's D-Bus interface: what it reads and sets up on the modem, and
a daemon or modem that goes away and comes back.

    python3 mmbridge_bus_test.py PATH/TO/mmbridge
"""
import sys
import unittest

from private_modemmanager import AtClient, PrivateModemManager, until

BRIDGE = None
GPS_RAW, GPS_NMEA, LAC_CI = 2, 4, 1

LTE_MODEM = {
    'Modem.Manufacturer': 'Quectel', 'Modem.Model': 'EM12', 'Modem.DeviceIdentifier': 'kestrel-1',
    'Modem.State': 8, 'Modem.PowerState': 3, 'Modem.AccessTechnologies': 1 << 14,
    'Modem3gpp.RegistrationState': 1, 'Modem3gpp.OperatorCode': '23001',
    'Location.Enabled': GPS_RAW | GPS_NMEA, 'location': '230,01,0000,01A2B3C,00AB',
    'Signal.Lte': {'rsrp': -95.0, 'rsrq': -11.0}, 'Signal.Gsm': {'rxlev': 3.0},
    'cells': [{'cell-type': 5, 'serving': False, 'tac': 'AB', 'ci': '1A2B3D', 'earfcn': 1300},
              {'cell-type': 5, 'serving': True, 'tac': 'AB', 'ci': '1A2B3C', 'earfcn': 6300}],
}


class Bridge(unittest.TestCase):
    def setUp(self):
        self.mm = PrivateModemManager()
        self.addCleanup(self.mm.close)
        self.mm.start()

    def test_reads_the_modem_and_adds_its_sources_to_the_users(self):
        self.mm.add_modem(0, LTE_MODEM)
        at = AtClient(self.mm.start_bridge(BRIDGE))
        self.addCleanup(at.close)
        self.assertEqual((['Quectel EM12'], 'OK'), at.ask('AT+CGMM'))
        self.assertEqual((['+COPS: 0,2,"23001",7'], 'OK'), at.ask('AT+COPS?'))
        self.assertEqual((['+CEREG: 2,1,"00AB","001A2B3C",7'], 'OK'), at.ask('AT+CEREG?'))
        self.assertEqual((['+CESQ: 99,99,255,255,255,46'], 'OK'), at.ask('AT+CESQ'))
        self.assertEqual((['+MMCELL: 7,"AB","1A2B3C",6300'], 'OK'), at.ask('AT+MMCELL?'))
        # The user's GPS sources stay on beside the cell's.
        self.assertEqual(GPS_RAW | GPS_NMEA | LAC_CI,
                         self.mm.modem_property(0, 'Location', 'Enabled'))
        self.assertGreater(self.mm.modem_property(0, 'Signal', 'Rate'), 0)

    def test_standalone_nr_and_an_unsupported_cell_list(self):
        self.mm.add_modem(3, {'Modem.DeviceIdentifier': 'kestrel-nr', 'Modem.State': 8,
                              'Modem.AccessTechnologies': 1 << 15,
                              'Modem3gpp.RegistrationState': 5,
                              'location': '230,01,0000,ABCDEF012,01E240',
                              'Signal.Nr5g': {'rsrp': -80.0}})
        self.mm.add_modem(1, {'Modem.DeviceIdentifier': 'other', 'Modem.State': 8})
        at = AtClient(self.mm.start_bridge(BRIDGE, '--modem', '3'))
        self.addCleanup(at.close)
        self.assertEqual((['+C5GREG: 2,5,"01E240","ABCDEF012",11'], 'OK'), at.ask('AT+C5GREG?'))
        self.assertEqual((['+CEREG: 2,0'], 'OK'), at.ask('AT+CEREG?'))
        self.assertEqual((['+CESQ: 99,99,255,255,255,255,255,77,255'], 'OK'), at.ask('AT+CESQ'))
        self.assertEqual((['+MMCELL: ,,,'], 'OK'), at.ask('AT+MMCELL?'))

    def test_a_modem_or_daemon_that_goes_away_ends_the_connection_until_it_is_back(self):
        self.mm.add_modem(0, LTE_MODEM)
        port = self.mm.start_bridge(BRIDGE)
        at = AtClient(port)
        self.assertEqual((['+CFUN: 1'], 'OK'), at.ask('AT+CFUN?'))

        self.mm.remove_modem(0)
        self.assertIsNone(at.ask('AT+CFUN?'))
        at.close()
        # While there is no modem, a connection is closed at once, as an unplugged modem's.
        at = AtClient(port)
        until(at.closed_by_peer, 'connection closed without a modem')
        at.close()
        # Plugged in again, it has a new index; the bridge follows its device identifier.
        self.mm.add_modem(1, dict(LTE_MODEM, **{'Modem3gpp.OperatorCode': '23002'}))
        at = AtClient(port)
        self.assertEqual((['+COPS: 0,2,"23002",7'], 'OK'), at.ask('AT+COPS?'))

        self.mm.stop()
        self.assertIsNone(at.ask('AT+COPS?'))
        at.close()
        self.mm.start()
        self.mm.add_modem(0, LTE_MODEM)
        at = AtClient(port)
        self.addCleanup(at.close)
        self.assertEqual((['+COPS: 0,2,"23001",7'], 'OK'), at.ask('AT+COPS?'))
        self.mm.bridge_log.wait('lost the modem /org/freedesktop/ModemManager1/Modem/0')


if __name__ == '__main__':
    BRIDGE = sys.argv.pop(1)
    unittest.main()
