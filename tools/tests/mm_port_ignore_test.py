"""tools/mm-port-ignore.sh with udevadm played by a script: the rule is written only after a
yes, names the port by USB vendor, product and interface, and goes again on removal."""
import os
import subprocess
import tempfile
import unittest

SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'mm-port-ignore.sh')
FAKE_UDEVADM = '''#!/bin/sh
echo "$@" >> "$UDEVADM_CALLS"
case "$1 $3" in
"info --name=/dev/null") printf 'DEVNAME=/dev/ttyUSB2\\nID_VENDOR_ID=2c7c\\nID_MODEL_ID=0125\\nID_USB_INTERFACE_NUM=02\\n' ;;
"info "*) printf 'DEVNAME=/dev/ttyS0\\n' ;;
esac
'''


class PortIgnoreRule(unittest.TestCase):
    def setUp(self):
        folder = tempfile.TemporaryDirectory(prefix='kestrel-udev-')
        self.addCleanup(folder.cleanup)
        self.rules = os.path.join(folder.name, 'rules.d')
        os.mkdir(self.rules)
        tools = os.path.join(folder.name, 'bin')
        os.mkdir(tools)
        with open(os.path.join(tools, 'udevadm'), 'w') as f:
            f.write(FAKE_UDEVADM)
        os.chmod(os.path.join(tools, 'udevadm'), 0o755)
        self.calls = os.path.join(folder.name, 'calls')
        self.env = dict(os.environ, PATH=tools + os.pathsep + os.environ['PATH'],
                        UDEVADM_CALLS=self.calls)

    def run_script(self, answer, *args):
        return subprocess.run(['bash', SCRIPT, '--rules-dir', self.rules] + list(args),
                              input=answer, text=True, capture_output=True, env=self.env)

    def udevadm_calls(self):
        if not os.path.exists(self.calls):
            return []
        with open(self.calls) as f:
            return [line.split()[0] + ' ' + line.split()[1] for line in f]

    def test_writes_the_rule_after_yes_and_removes_it_after_yes(self):
        self.assertEqual(1, self.run_script('n\n', 'add', '/dev/null').returncode)
        self.assertEqual([], os.listdir(self.rules))

        done = self.run_script('y\n', 'add', '/dev/null')
        self.assertEqual(0, done.returncode, done.stderr)
        [rule] = os.listdir(self.rules)
        self.assertEqual('77-kestrel-mm-port-ignore-2c7c-0125-02.rules', rule)
        with open(os.path.join(self.rules, rule)) as f:
            text = f.read()
        self.assertIn('ATTRS{idVendor}=="2c7c", ATTRS{idProduct}=="0125", '
                      'ENV{.KESTREL_USBIFNUM}=="02", ENV{ID_MM_PORT_IGNORE}="1"', text)
        self.assertIn('ENV{.KESTREL_USBIFNUM}="$attr{bInterfaceNumber}"', text)
        self.assertEqual(['info --query=property', 'control --reload', 'trigger --action=change'],
                         self.udevadm_calls()[-3:])
        self.assertIn(rule, self.run_script('', 'show').stdout)

        self.assertEqual(1, self.run_script('\n', 'remove').returncode)
        self.assertEqual([rule], os.listdir(self.rules))
        self.assertEqual(0, self.run_script('yes\n', 'remove').returncode)
        self.assertEqual([], os.listdir(self.rules))
        self.assertEqual(['control --reload', 'trigger --action=change'], self.udevadm_calls()[-2:])

    def test_a_port_that_is_no_usb_modems_gets_no_rule(self):
        refused = self.run_script('y\n', 'add', '/dev/zero')
        self.assertEqual(1, refused.returncode)
        self.assertIn('not a port of a USB modem', refused.stderr)
        self.assertEqual(1, self.run_script('y\n', 'add', '/dev/no-such-port').returncode)
        self.assertEqual([], os.listdir(self.rules))
        self.assertNotIn('control --reload', self.udevadm_calls())


if __name__ == '__main__':
    unittest.main()
