// The whole processor state as one value, for tests that run the same code
// twice (the recompiler and the interpreter from the same start) and compare:
// live registers with CPSR and SPSR (whose T bit names the instruction set),
// every bank, the flag bytes and the opcode latch.
#pragma once

#include <cstring>
#include <sstream>
#include <string>

#include "cpu/cpu.h"

struct ProcessorState {
    RegisterSet live, usr, fiq, irq, svc, abt, und;
    uint8_t n, z, c, v;
    uint32_t opcode;

    static ProcessorState capture() {
        ProcessorState s;
        s.live = cpu.live;
        s.usr = bank_usr, s.fiq = bank_fiq, s.irq = bank_irq, s.svc = bank_svc;
        s.abt = bank_abt, s.und = bank_und;
        s.n = flag_n, s.z = flag_z, s.c = flag_c, s.v = flag_v;
        s.opcode = cpu_opcode;
        return s;
    }
    // Puts the state back and chooses `method` for the ARM code that runs.
    void restore(Method method) const {
        cpu.live = live;
        bank_usr = usr, bank_fiq = fiq, bank_irq = irq, bank_svc = svc;
        bank_abt = abt, bank_und = und;
        flag_n = n, flag_z = z, flag_c = c, flag_v = v;
        cpu_opcode = opcode;
        cpu_method = method;
    }
    // Empty when equal, else the differing parts, this state's value first.
    std::string differences(const ProcessorState& o) const {
        std::ostringstream out;
        out << std::hex;
        for (int i = 0; i < 16; i++)
            if (live.regs[i] != o.live.regs[i])
                out << " r" << i << " " << live.regs[i] << "/" << o.live.regs[i];
        if (live.cpsr != o.live.cpsr) out << " cpsr " << live.cpsr << "/" << o.live.cpsr;
        if (live.spsr != o.live.spsr) out << " spsr " << live.spsr << "/" << o.live.spsr;
        const RegisterSet* mine[] = {&usr, &fiq, &irq, &svc, &abt, &und};
        const RegisterSet* theirs[] = {&o.usr, &o.fiq, &o.irq, &o.svc, &o.abt, &o.und};
        const char* names[] = {"usr", "fiq", "irq", "svc", "abt", "und"};
        for (int b = 0; b < 6; b++) {
            for (int i = 0; i < 16; i++)
                if (mine[b]->regs[i] != theirs[b]->regs[i])
                    out << " bank_" << names[b] << ".r" << std::dec << i << std::hex << " "
                        << mine[b]->regs[i] << "/" << theirs[b]->regs[i];
            if (mine[b]->cpsr != theirs[b]->cpsr || mine[b]->spsr != theirs[b]->spsr)
                out << " bank_" << names[b] << ".psr";
        }
        if (n != o.n || z != o.z || c != o.c || v != o.v)
            out << " flags " << int(n) << int(z) << int(c) << int(v) << "/" << int(o.n) << int(o.z)
                << int(o.c) << int(o.v);
        if (opcode != o.opcode) out << " cpu_opcode " << opcode << "/" << o.opcode;
        return out.str();
    }
};
