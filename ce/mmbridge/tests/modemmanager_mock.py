"""ModemManager on a private bus for the bridge's tests: a python-dbusmock template.

The modem objects get every interface, property and method that ModemManager's own interface
files (modemmanager-dev, /usr/share/dbus-1/interfaces) declare, with empty values; the tests
then set what a modem reports through the mock interface:

    AddModem(index, values)   values, in JSON: {"Modem.Manufacturer": "Quectel",
    SetModem(index, values)       "Modem3gpp.OperatorCode": "23001", "Signal.Lte": {"rsrp": -95.0},
    RemoveModem(index)            "location": "MCC,MNC,LAC,CI,TAC", "cells": [{...}], ...}

"location" is what Location.GetLocation gives for the 3GPP source, "cells" what
Modem.GetCellInfo gives. Location.Setup and Signal.Setup store what they were given.
"""
import glob
import json
import os
import xml.etree.ElementTree as ElementTree

import dbus
from dbusmock import MOCK_IFACE, OBJECT_MANAGER_IFACE

BUS_NAME = 'org.freedesktop.ModemManager1'
MAIN_OBJ = '/org/freedesktop/ModemManager1'
MAIN_IFACE = 'org.freedesktop.ModemManager1'
SYSTEM_BUS = True
IS_OBJECT_MANAGER = True

MODEM_IFACE = 'org.freedesktop.ModemManager1.Modem'
LOCATION_IFACE = MODEM_IFACE + '.Location'
SIGNAL_IFACE = MODEM_IFACE + '.Signal'
INTERFACES = os.environ.get('KESTREL_MM_INTERFACES', '/usr/share/dbus-1/interfaces')
LOCATION_3GPP = 1  # MM_MODEM_LOCATION_SOURCE_3GPP_LAC_CI


def _split(signature):
    '''The complete types of a signature.'''
    types, depth, start = [], 0, 0
    for i, c in enumerate(signature):
        if c in '({':
            depth += 1
        elif c in ')}':
            depth -= 1
        if depth == 0 and c != 'a':
            types.append(signature[start:i + 1])
            start = i + 1
    return types


def _value(signature, value=None):
    '''A D-Bus value of the type; the type's empty value for None.'''
    simple = {'y': dbus.Byte, 'b': dbus.Boolean, 'n': dbus.Int16, 'q': dbus.UInt16,
              'i': dbus.Int32, 'u': dbus.UInt32, 'x': dbus.Int64, 't': dbus.UInt64,
              'd': dbus.Double, 's': dbus.String, 'o': dbus.ObjectPath, 'h': dbus.UInt32}
    if signature in simple:
        empty = '/' if signature == 'o' else '' if signature == 's' else 0
        return simple[signature](empty if value is None else value)
    if signature == 'v':
        return dbus.String('', variant_level=1) if value is None else value
    if signature.startswith('a{'):
        key, item = _split(signature[2:-1])
        return dbus.Dictionary({_value(key, k): _value(item, v) for k, v in (value or {}).items()},
                               signature=key + item)
    if signature.startswith('a'):
        item = signature[1:]
        return dbus.Array([_value(item, v) for v in (value or [])], signature=item)
    if signature.startswith('('):
        fields = _split(signature[1:-1])
        return dbus.Struct([_value(f, v) for f, v in zip(fields, value or [None] * len(fields))],
                           signature=signature[1:-1])
    raise ValueError('no value for signature ' + signature)


def _variant(value):
    '''A test's plain value for an a{sv} or aa{sv} entry.'''
    if isinstance(value, bool):
        return dbus.Boolean(value, variant_level=1)
    if isinstance(value, int):
        return dbus.UInt32(value, variant_level=1)
    if isinstance(value, float):
        return dbus.Double(value, variant_level=1)
    return dbus.String(value, variant_level=1)


def _interfaces():
    '''interface -> (properties, methods) from ModemManager's modem interface files.'''
    found = {}
    for path in sorted(glob.glob(os.path.join(INTERFACES, MODEM_IFACE + '*.xml'))):
        for node in ElementTree.parse(path).getroot().iter('interface'):
            properties = {p.get('name'): p.get('type') for p in node.iter('property')}
            methods = {}
            for m in node.iter('method'):
                args = list(m.iter('arg'))
                methods[m.get('name')] = (
                    ''.join(a.get('type') for a in args if a.get('direction', 'in') == 'in'),
                    ''.join(a.get('type') for a in args if a.get('direction') == 'out'))
            found[node.get('name')] = (properties, methods)
    if MODEM_IFACE not in found:
        raise RuntimeError('no ModemManager interface files in ' + INTERFACES)
    return found


def _returning(out):
    types = _split(out)

    def method(_self, *_args):
        values = [_value(t) for t in types]
        return None if not values else values[0] if len(values) == 1 else tuple(values)
    return method


def _get_location(self):
    location = getattr(self, 'kestrel_location', '')
    return dbus.Dictionary({dbus.UInt32(LOCATION_3GPP): dbus.String(location, variant_level=1)}
                           if location else {}, signature='uv')


def _get_cell_info(self):
    return dbus.Array([dbus.Dictionary({k: _variant(v) for k, v in cell.items()}, signature='sv')
                       for cell in getattr(self, 'kestrel_cells', [])], signature='a{sv}')


def _location_setup(self, sources, signals):
    self.props[LOCATION_IFACE]['Enabled'] = dbus.UInt32(sources)
    self.props[LOCATION_IFACE]['SignalsLocation'] = dbus.Boolean(signals)


def _signal_setup(self, rate):
    self.props[SIGNAL_IFACE]['Rate'] = dbus.UInt32(rate)


OWN_METHODS = {(MODEM_IFACE, 'GetCellInfo'): _get_cell_info,
               (LOCATION_IFACE, 'GetLocation'): _get_location,
               (LOCATION_IFACE, 'Setup'): _location_setup,
               (SIGNAL_IFACE, 'Setup'): _signal_setup}


def load(mock, _parameters):
    mock.kestrel_interfaces = _interfaces()
    mock.AddProperties(MAIN_IFACE, {'Version': dbus.String('1.20.4')})


def _modem_path(index):
    return MAIN_OBJ + '/Modem/' + str(int(index))


def _apply(mock, obj, values):
    for name, value in values.items():
        if name == 'location':
            obj.kestrel_location = str(value)
        elif name == 'cells':
            obj.kestrel_cells = [dict(cell) for cell in value]
        else:
            short, prop = str(name).rsplit('.', 1)
            interface = MODEM_IFACE if short == 'Modem' else MODEM_IFACE + '.' + short
            signature = mock.kestrel_interfaces[interface][0][prop]
            if signature == 'a{sv}':
                # Modem.Signal's values are all in dB or dBm.
                obj.props[interface][prop] = dbus.Dictionary(
                    {k: dbus.Double(v, variant_level=1) if interface == SIGNAL_IFACE
                     else _variant(v) for k, v in value.items()}, signature='sv')
            else:
                obj.props[interface][prop] = _value(signature, value)


@dbus.service.method(MOCK_IFACE, in_signature='us', out_signature='')
def AddModem(self, index, values):
    path = _modem_path(index)
    interfaces = self.kestrel_interfaces
    properties, methods = interfaces[MODEM_IFACE]
    self.AddObject(path, MODEM_IFACE, {n: _value(t) for n, t in properties.items()}, [])
    obj = dbusmock_objects()[path]
    for interface, (properties, methods) in interfaces.items():
        if interface != MODEM_IFACE:
            obj.AddProperties(interface, {n: _value(t) for n, t in properties.items()})
        for name, (in_sig, out_sig) in methods.items():
            code = OWN_METHODS.get((interface, name), _returning(out_sig))
            obj.AddMethod(interface, name, in_sig, out_sig, code)
    _apply(self, obj, json.loads(values))
    self.object_manager_emit_added(path)


@dbus.service.method(MOCK_IFACE, in_signature='us', out_signature='')
def SetModem(self, index, values):
    _apply(self, dbusmock_objects()[_modem_path(index)], json.loads(values))


@dbus.service.method(MOCK_IFACE, in_signature='u', out_signature='')
def RemoveModem(self, index):
    path = _modem_path(index)
    self.object_manager_emit_removed(path)
    self.RemoveObject(path)


def dbusmock_objects():
    from dbusmock import mockobject  # pylint: disable=import-outside-toplevel
    return mockobject.objects
