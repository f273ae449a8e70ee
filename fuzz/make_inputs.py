#!/usr/bin/env python3
"""Writes the regression inputs of the defects found by the random soak and
an early fuzzing round, and the seed corpora, in the byte encoding the targets
read (see input.h and each target's head comment). The files are committed
under fuzz/regressions/<target>/ and fuzz/corpus/<target>/; the regressions
that later fuzzing found are its own inputs, kept as found."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.join(HERE, 'regressions')


def calls(name):
    """Index of each F(name) line of a call list."""
    lines = [l.strip() for l in open(os.path.join(HERE, name))]
    names = [l[2:-1] for l in lines if l.startswith('F(')]
    return {n: i for i, n in enumerate(names)}


VNL = calls('motion_calls.inc')
QORA = calls('card_calls.inc')
EDGES = [-1, 5, 6, 11, 12, 63, 71, 72, 100, 127, 128, 200, 255, 256, 2048, 2049, 29999, 30000,
         32767, 32768, 65535]


def integer(v, size=4):
    if 0 <= v < 8:
        return bytes([v])
    if v in EDGES:
        return bytes([128 + (EDGES.index(v) - 2) % 21])
    return bytes([0xE0]) + struct.pack('<i' if size == 4 else '<h', v)


def number(x):
    if x != x:
        return bytes([0])
    if x == int(x) and -128 <= x < 128:
        return bytes([38, int(x) & 0xFF])
    v = round(x * 10)
    assert abs(v / 10 - x) < 1e-12 and -128 <= v < 128
    return bytes([6, v & 0xFF])


NAN = float('nan')


def call(name, *args):
    """A drawn call: args are ('d', x) doubles, ('i', v) integers, ('c', k) chars."""
    out = bytes([0xFF, VNL[name]])
    for kind, v in args:
        out += number(v) if kind == 'd' else integer(v) if kind == 'i' else bytes([v])
    return out


def d(*xs):
    return [('d', x) for x in xs]


def i(*vs):
    return [('i', v) for v in vs]


def motion(card, ops, params=b'', init=b'\x00\x01' + bytes(12)):
    return bytes([3 if card else 0]) + params + b'\x01' + init + b''.join(ops)


def wait(ms):
    out = b''
    for step, k in ((500, 5), (100, 4), (20, 3), (5, 2), (2, 1), (1, 0)):
        while ms >= step:
            out += bytes([0, k])
            ms -= step
    return out


def write(target, name, data, where=ROOT):
    os.makedirs(os.path.join(where, target), exist_ok=True)
    with open(os.path.join(where, target, name), 'wb') as f:
        f.write(data)


def seed(target, name, data):
    write(target, name, data, os.path.join(HERE, 'corpus'))


# 1: a huge interpolation time at initialisation.
write('motion', 'init-huge-interpolation-time',
      motion(False, [], init=b'\xd1\xd1\x01' + bytes(12)))
# 3, 4: home speeds and stepwise homing with numbers that are not numbers.
write('motion', 'go-home-nan-speeds', motion(False, [call('VNL_GoHome', *d(*[NAN] * 6), *i(*[0] * 7))]))
write('motion', 'find-home-sensor-nan', motion(False, [call('VNL_FindHomeSensor', *d(NAN, NAN), *i(0))]))
# 7: a card type other than 2 or 3.
write('motion', 'card-type-zero', motion(True, [], init=b'\x00\x01\x0d' + bytes(11)))
# 8: abort while only the card queue still moves.
write('motion', 'abort-while-card-queue-moves',
      motion(True, [call('VNL_SetFeedSpeed', *d(5), *i(0)),
                    call('VNL_Line', *d(0.1, 0, 0, 0, 0, 0), *i(0)), wait(20),
                    bytes([0xFF, VNL['VNL_AbortMotion'], 0])]))
# 9: an end-point correction after a late abort, wrapped to 16 bits.
delay = bytes([4, 36, 255, 2])
write('motion', 'late-abort-correction-wrap',
      motion(True, [call('VNL_SetFeedSpeed', *d(20), *i(0)), delay,
                    call('VNL_Line', *d(0, 0, 0, 0, 0, 50), *i(0)), wait(88),
                    call('VNL_AbortMotion', *i(0)), wait(4000)]))
# 10: a pulse jog after an abort that timed out during a blended chain.
chain = [call('VNL_Line', *d(0.2, 0.1 if k % 2 else -0.1, 0, 0, 0, 0), *i(0)) for k in range(20)]
write('motion', 'pulse-jog-after-timed-out-abort',
      motion(True, [call('VNL_SetFeedSpeed', *d(10), *i(0)), call('VNL_SetIncrease', *i(0)),
                    call('VNL_EnableBlend', *i(0))] + chain +
             [delay, wait(88), call('VNL_AbortMotion', *i(0)), wait(400),
              call('VNL_ContiMotion', *i(0)), bytes([1, 0]),
              bytes([0xFF, VNL['VNL_JogPulse']]) + integer(-1217) + bytes([1])]))
# 11: a continuous jog into the software limit (W limited to +-50, checked).
limit_w = b'\x00' + bytes([5, 0, 0, 1, 0, 1, 1, 1, 1])
write('motion', 'jog-conti-into-software-limit',
      motion(True, [call('VNL_SetOverTravelCheck', *i(1, 1, 1, 1, 1, 1, 0)), bytes([5, 5, 1, 99])],
             params=limit_w))

# 2: a host that ends with a card open (the replay program ends with it open).
isr = b'\x01\x02' * 9  # each routine: not null, then the counting routine
write('card', 'exit-with-card-open',
      bytes([1, 0xFF, QORA['QORA210_Init']]) + isr + integer(0) + bytes([0, 20, 2, 1]))


# 5, 6: profile files with a lone '[' and with a NUL byte.
def profile(content, ops):
    if len(content) % 2:
        content += b'\n'
    return bytes([len(content) // 2]) + content + ops


write_key = bytes([1, 1, 1, 1, 0, 1, 3])  # [Axis] HighLimit(0) = A
write('profile', 'lone-bracket-line', profile(b'[\n[Axis]\nLowLimit(0)=-1\n', write_key))
write('profile', 'nul-byte', profile(b'[Axis]\n\x00\nA=1\n', write_key))


# Seeds: sequences that reach the planner's main paths, in simulation (on
# the card an input costs a thread hand-over per cycle: the regressions above
# cover it, and mutations of the first byte reach it).
feed = call('VNL_SetFeedSpeed', *d(10), *i(0))
for card in (False,):
    where = 'card' if card else 'sim'
    seed('motion', where + '-lines-and-circle',
         motion(card, [feed, call('VNL_Line', *d(1, 0.5, 0, 0, 0, 0), *i(0)),
                       call('VNL_CircleXY', *d(1.5, 0.5), *i(1, 0)), bytes([1, 0])]))
    seed('motion', where + '-blend-hold-continue',
         motion(card, [feed, call('VNL_EnableBlend', *i(0))] +
                [call('VNL_Line', *d(0.3 * k, 0.2 * (k % 2), 0, 0, 0, 0), *i(0)) for k in range(1, 6)] +
                [wait(20), call('VNL_HoldMotion', *i(0)), call('VNL_ContiMotion', *i(0)), bytes([1, 0])]))
    seed('motion', where + '-ptp-jogs-delay',
         motion(card, [feed, call('VNL_PtP', *d(1, -1, 0.5, 0, 0, 0), *i(0)),
                       call('VNL_DelayMotion', *i(5, 0)), bytes([1, 0]),
                       call('VNL_JogSpace', *d(0.5), *i(50, 1, 0)), bytes([1, 0]),
                       bytes([0xFF, VNL['VNL_JogPulse']]) + integer(100) + bytes([2])]))
seed('card', 'open-and-use',
     bytes([1, 0xFF, QORA['QORA210_Init']]) + isr + integer(0) +
     bytes([0xFF, QORA['QORA_DDA_SetTime']]) + number(1) + integer(5) + integer(0) +
     bytes([0xFF, QORA['QORA_DDA_EnableCycleInt']]) + integer(0) +
     bytes([0xFF, QORA['QORA_DDA_StartEngine']]) + integer(0) + bytes([0, 20]) +
     bytes([0xFF, QORA['QORA_DDA_SendPulse']]) + integer(1) + integer(100) + integer(0) +
     bytes([0, 10, 0xFF, QORA['QORA_Close']]) + integer(0))
seed('card', 'two-cards', bytes([2, 0xFF, QORA['QORA310_Init']]) + isr + integer(1) +
     bytes([0xFF, QORA['QORA_LIO_ServoOn']]) + integer(2) + integer(1) + bytes([1, 1, 0, 0]))
seed('profile', 'parameter-file',
     profile(b'[Parameter]\nMaxSpeed=50000\nHighLimit(0)=100000\n; note\n[Other]\nA=1\n',
             write_key + bytes([1, 0, 1, 1, 1])))
