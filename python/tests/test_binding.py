"""The ctypes binding against the libraries of the build.

Environment (set by ctest): TERVANE_RECORD_LAYOUT, the layout program built
from varnelpci.h; TERVANE_SOURCE_DIR, the repository. Without them the tests
that need them are skipped.
"""
import ctypes
import os
import subprocess
import sys
import tempfile
import unittest

from tervane import MotionError
from tervane import qoradrv as qd
from tervane import varnelpci as vnl

SOURCE = os.environ.get("TERVANE_SOURCE_DIR")
LAYOUT = os.environ.get("TERVANE_RECORD_LAYOUT")


def c_layout():
    out = subprocess.run([LAYOUT], check=True, capture_output=True, text=True).stdout
    records = {}
    for line in out.splitlines():
        record, field, offset, size = line.split()
        records.setdefault(record, {})[field] = (int(offset), int(size))
    return records


class Records(unittest.TestCase):
    @unittest.skipUnless(LAYOUT, "TERVANE_RECORD_LAYOUT not set")
    def test_sizes_and_offsets_agree_with_the_c_compiler(self):
        c = c_layout()
        self.assertEqual(set(c), {r.__name__ for r in vnl.RECORDS})
        for record in vnl.RECORDS:
            with self.subTest(record=record.__name__):
                fields = dict(c[record.__name__])
                self.assertEqual(ctypes.sizeof(record), fields.pop("-")[1])
                self.assertEqual({f for f, _ in record._fields_}, set(fields))
                for name, _ in record._fields_:
                    descriptor = getattr(record, name)
                    self.assertEqual((descriptor.offset, descriptor.size), fields[name], name)


def exported(list_file):
    names = []
    with open(list_file) as f:
        for line in f:
            names += [n for n in line.split() if n != "-"]
    return names


@unittest.skipUnless(SOURCE, "TERVANE_SOURCE_DIR not set")
class Signatures(unittest.TestCase):
    def test_every_exported_name_has_a_signature(self):
        for module, listed in ((vnl, "motion/tests/exported_names.txt"),
                               (qd, "cardaccess/tests/exported_names.txt")):
            names = exported(os.path.join(SOURCE, listed))
            self.assertGreater(len(names), 100)
            missing = [n for n in names if n not in module.functions]
            self.assertEqual(missing, [], module.__name__)

    def test_the_tables_are_what_the_headers_give(self):
        tools = os.path.join(SOURCE, "python", "tools", "gen_signatures.py")
        core = os.path.join(SOURCE, "motion", "core")
        sources = sorted(os.path.join(core, f) for f in os.listdir(core)
                         if f.endswith((".cpp", ".inc")))
        jobs = [("varnelpci", ["motion/include/varnelpci.h", "motion/include/varnelpci_sim.h",
                               "--"] + sources),
                ("qoradrv", ["cardaccess/include/qoradrv.h"])]
        with tempfile.TemporaryDirectory() as tmp:
            for library, inputs in jobs:
                out = os.path.join(tmp, library + ".py")
                args = [a if a == "--" or os.path.isabs(a) else os.path.join(SOURCE, a)
                        for a in inputs]
                subprocess.run([sys.executable, tools, library, out] + args, check=True)
                committed = os.path.join(SOURCE, "python", "tervane",
                                         "_%s_signatures.py" % library)
                with open(out) as a, open(committed) as b:
                    self.assertEqual(a.read(), b.read(),
                                     "%s is stale: run scripts/python-signatures" % committed)


class MotionLibrary(unittest.TestCase):
    def setUp(self):
        vnl.VNL_EnableSimulation()
        vnl.checked.VNL_SetSysMaxSpeed(100.0)
        vnl.checked.VNL_InitSystem(1, vnl.CardConfig(2, 0, 0, 0), 1)

    def tearDown(self):
        vnl.VNL_CloseSystem()

    def test_low_layer_returns_the_codes_and_checked_raises_them(self):
        self.assertEqual(vnl.VNL_Line(0.2, 0, 0, 0, 0, 0, 72), vnl.VNL_ERR_GROUP)
        with self.assertRaises(MotionError) as caught:
            vnl.checked.VNL_Line(0.2, 0, 0, 0, 0, 0, 72)
        self.assertEqual(caught.exception.code, -6)
        self.assertEqual(caught.exception.function, "VNL_Line")
        self.assertIn("group", caught.exception.meaning)
        # A double result carries its code too.
        with self.assertRaises(MotionError) as caught:
            vnl.checked.VNL_SetFeedSpeed(float("nan"), 0)
        self.assertEqual(caught.exception.code, vnl.VNL_ERR_RANGE)

    def test_old_and_new_names_reach_the_same_function(self):
        self.assertEqual(vnl.checked.VNL_set_fspd(7.5, 0), 7.5)
        self.assertEqual(vnl.VNL_GetFeedSpeed(0), 7.5)
        self.assertIs(vnl.VNL_set_fspd.restype, vnl.VNL_SetFeedSpeed.restype)

    def test_a_line_ends_on_its_target_and_records_come_back(self):
        vnl.checked.VNL_SetFeedSpeed(20.0, 0)
        self.assertEqual(vnl.checked.VNL_Line(0.5, -0.25, 0, 0, 0, 0, 0), 0)
        for _ in range(5000):
            if vnl.VNL_GetMotionStatus(0) == 1:
                break
            vnl.VNL_TimeDelay(1)
        pos = [ctypes.c_double() for _ in range(6)]
        vnl.checked.VNL_GetCurPos(*map(ctypes.byref, pos), 0)
        self.assertAlmostEqual(pos[0].value, 0.5, places=6)
        self.assertAlmostEqual(pos[1].value, -0.25, places=6)
        info = vnl.CurrentCommandInfo()
        vnl.checked.VNL_GetCurCommand(ctypes.byref(info), 0)
        self.assertEqual(info.nKind, 1)
        self.assertAlmostEqual(info.dfSpeed, 20.0)

    def test_machine_parameters_go_in_and_come_back(self):
        vnl.VNL_CloseSystem()
        p = vnl.MACHINE_PARAM(wRPM=1500, dwPPR=2500, dfPitch=5.0, dfGearRatio=2.0,
                              dfHighLimit=300.0, dfLowLimit=-5.0)
        p.HomeConfig.dfHomeOffset = 1.25
        p.EncoderConfig.wReserved[2] = 0
        vnl.checked.VNL_SetMachParam(p, 3, 0)
        back = vnl.MACHINE_PARAM()
        vnl.checked.VNL_GetMachParam(ctypes.byref(back), 3, 0)
        self.assertEqual((back.wRPM, back.dwPPR, back.dfPitch, back.dfHighLimit),
                         (1500, 2500, 5.0, 300.0))
        self.assertEqual(back.HomeConfig.dfHomeOffset, 1.25)
        vnl.checked.VNL_InitSystem(1, vnl.CardConfig(2, 0, 0, 0), 1)


class CardAccess(unittest.TestCase):
    def test_version_and_refusals(self):
        buffer = ctypes.create_string_buffer(qd.QORA_VERSION_BUFFER)
        self.assertEqual(qd.checked.QORA_GetVersion(buffer), 4)
        self.assertEqual(buffer.value, b"4.00")
        value = ctypes.c_int32()
        self.assertEqual(qd.QORA_ENC_GetValue(0, ctypes.byref(value), 12), qd.QORA_REFUSED)
        with self.assertRaises(MotionError) as caught:
            qd.checked.QORA_ENC_GetValue(0, ctypes.byref(value), 12)
        self.assertEqual(caught.exception.code, 0)

    def test_an_encoder_of_the_virtual_card_reads_through_the_binding(self):
        qd.checked.QORA210_Init(*([None] * 9), 0)
        try:
            qd.checked.QORA_ENC_ClearCounter(1, 0)
            value = ctypes.c_int32(-1)
            qd.checked.QORA_ENC_GetValue(1, ctypes.byref(value), 0)
            self.assertEqual(value.value, 0)
            flags = (ctypes.c_uint8 * qd.QORA_MAX_FLAGS)()
            qd.checked.QORA_GetIntSource(flags, 0)  # a result of 0 is no refusal
        finally:
            qd.QORA_Close(0)


if __name__ == "__main__":
    unittest.main()
