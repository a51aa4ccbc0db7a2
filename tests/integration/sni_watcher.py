'''python-dbusmock template: a StatusNotifierWatcher with a host registered,
as a KDE Plasma panel or GNOME's AppIndicator extension provides one.

Items that register are added to RegisteredStatusNotifierItems; the call log
(-l) records each RegisterStatusNotifierItem with the item's service name.
'''
import dbus

BUS_NAME = 'org.kde.StatusNotifierWatcher'
MAIN_OBJ = '/StatusNotifierWatcher'
MAIN_IFACE = 'org.kde.StatusNotifierWatcher'
SYSTEM_BUS = False

REGISTER_ITEM = '''
items = list(self.Get(IFACE, 'RegisteredStatusNotifierItems'))
items.append(args[0])
self.Set(IFACE, 'RegisteredStatusNotifierItems', dbus.Array(items, signature='s'))
self.EmitSignal(IFACE, 'StatusNotifierItemRegistered', 's', [args[0]])
'''


def load(mock, parameters):
    mock.AddMethods(MAIN_IFACE, [
        ('RegisterStatusNotifierItem', 's', '', REGISTER_ITEM.replace('IFACE', repr(MAIN_IFACE))),
        ('RegisterStatusNotifierHost', 's', '', ''),
    ])
    mock.AddProperties(MAIN_IFACE, dbus.Dictionary({
        'IsStatusNotifierHostRegistered': dbus.Boolean(parameters.get('host', True)),
        'ProtocolVersion': dbus.Int32(0),
        'RegisteredStatusNotifierItems': dbus.Array([], signature='s'),
    }, signature='sv'))
