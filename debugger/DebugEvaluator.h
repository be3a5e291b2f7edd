// Values of watch expressions. Operators and built-in functions are not
// written again here: each one runs the machine's own instruction handler,
// on a small machine of its own (InterpreterVM) whose three operands are set
// to the values already computed, so that every operator has exactly the
// type rules of the instruction with the same number.
//
// Values are heap CVmValues owned by the caller; null is a failed
// evaluation. The functions below never take their operands: the caller
// releases them.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "vm/VirtualMachine.h"

class InterpreterVM : public CVirtualMachine {
public:
    // The one instance of the process, made on first use (after the block
    // pool it allocates from).
    static InterpreterVM& Instance();

    // A type mismatch only marks the evaluation as failed: no message, no
    // error flag.
    void ReportTypeMismatch(const CVmValue* a, const CVmValue* b, const CVmValue* t) override;

    // Runs one instruction with operand 1 = a, operand 2 = b (may be null)
    // and operand 3 = a new Void value, which becomes the result; null when
    // the handler reported a type mismatch.
    CVmValue* Evaluate(int opcode, const CVmValue* a, const CVmValue* b);
    // Runs a conditional jump with the jump scratch as target; -1 on a type
    // mismatch, else 1 when the jump was taken, 0 when not.
    int EvaluateJump(int opcode, const CVmValue* a, const CVmValue* b);

private:
    InterpreterVM();
    // Puts the operands in place and runs the instruction; true when no
    // type mismatch was reported. The result is left in operand 3.
    bool RunInstruction(int opcode, const CVmValue* a, const CVmValue* b, const CVmValue& t);
    void ClearOperands();

    bool m_evaluationFailed = false;
    CVmValue m_jumpScratch;  // Integer 0: the jump target given to comparisons
    // One instruction whose operands are globals 0, 1 and 2.
    std::shared_ptr<VmProgram> m_scratch;
    std::mutex m_lock;  // one evaluation at a time
};

// Operators: '+', '-', '*', '/', '%', '^', '|', '&' by their opcode.
CVmValue* DebugEvalBinary(const CVmValue* left, const CVmValue* right, int opcode);
// '!', unary '-' and the built-in functions by their opcode.
CVmValue* DebugEvalUnary(const CVmValue* operand, int opcode);
// EQ, NE, LT, GT, LE, GE (the conditional jumps 29 to 34): a new Bool.
CVmValue* DebugEvalCompare(const CVmValue* left, const CVmValue* right, int opcode);
// Both operands must be Bool values; both are always evaluated.
CVmValue* DebugEvalAnd(const CVmValue* left, const CVmValue* right);
CVmValue* DebugEvalOr(const CVmValue* left, const CVmValue* right);
// asize(x): the element count of an array or a vector.
CVmValue* DebugEvalArraySize(const CVmValue* operand);
// Literals: {a, b, ...} and [a, b, ...] of the given values.
CVmValue* DebugArrayLiteral(const std::vector<CVmValue*>& items);
CVmValue* DebugVectorLiteral(const std::vector<CVmValue*>& items);

// The script-side call that the engine machine offers watch expressions: a
// native function of the machine called by name with the arguments, when the
// expression's name is `allowedName` (letter case ignored). The machine's
// flags are as before afterwards. Null when the name is another one or the
// call gave no value; else a new value that the caller owns.
CVmValue* DebugCallNative(CVirtualMachine& machine, const char* allowedName, const CVmValue* name,
                          const CVmArray* arguments);
