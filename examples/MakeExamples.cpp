// Writes the bundled example scripts: make_examples <folder>.
//
// hello.bin greets from OnInit, counts frames in OnFrame (a line every 300
// frames), names every character typed and every click in OnEvent, and says
// goodbye from OnExit. Shift+F9 or closing the window ends it.
#include <cstdio>
#include <fstream>
#include <string>

#include "support/ProgramBuilder.h"

using namespace qemtest;

namespace {

void Print(ProgramBuilder& b, const char* text) { b.Emit(OP_OUTPUT, VStr(text)); }

std::vector<uint8_t> Hello() {
    ProgramBuilder b;
    const int frames = b.AddGlobal();
    b.Emit(OP_COPY, VInt(0), None(), G(frames));
    b.Return();

    b.Function("ONINIT", 1);
    Print(b, "\nHello from the example script. Type keys or click; Shift+F9 quits.\n");
    b.Return();

    b.Function("ONFRAME", 0);
    {
        b.Emit(OP_RESERVE, I(1));
        Label skip = b.NewLabel();
        b.Emit(OP_INC, G(frames));
        b.Emit(OP_MOD, G(frames), I(300), L(1));
        b.Emit(OP_JUMP_NE, L(1), I(0), At(skip));
        Print(b, "frame ");
        b.Emit(OP_OUTPUT, G(frames));
        Print(b, "\n");
        b.Bind(skip);
        b.Return();
    }

    b.Function("ONEVENT", 3);  // message, argument 1, argument 2
    {
        b.Emit(OP_RESERVE, I(1));
        Label notChar = b.NewLabel(), notClick = b.NewLabel();
        b.Emit(OP_JUMP_NE, L(-1), I(258), At(notChar));
        Print(b, "key '");
        b.Emit(OP_CHAR, L(-2), None(), L(1));
        b.Emit(OP_OUTPUT, L(1));
        Print(b, "' typed\n");
        b.Return();
        b.Bind(notChar);
        b.Emit(OP_JUMP_NE, L(-1), I(513), At(notClick));
        Print(b, "click\n");
        b.Bind(notClick);
        b.Return();
    }

    b.Function("ONEXIT", 0);
    Print(b, "\nGoodbye.\n");
    b.Return();

    for (const char* quiet : {"ONDOWNLOAD", "ONTIMER", "DOWNLOADREADY", "ONERROR"}) {
        b.Function(quiet, 0);
        b.Return();
    }
    return b.WriteFile();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_examples <folder>\n");
        return 2;
    }
    const std::vector<uint8_t> hello = Hello();
    std::ofstream(std::string(argv[1]) + "/hello.bin", std::ios::binary)
        .write(reinterpret_cast<const char*>(hello.data()), static_cast<std::streamsize>(hello.size()));
    return 0;
}
