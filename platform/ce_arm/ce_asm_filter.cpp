// ce-asm-filter — turns the ELF assembly clang writes for 32-bit ARM into assembly that the
// Windows CE (PE/COFF) assembler, arm-mingw32ce-as, accepts.
//
//   ce-asm-filter IN.s OUT.s
//
// clang emits only ELF objects for ARM, but its assembly is almost target-neutral: the
// instructions stay as they are, and only the ELF bookkeeping has to go or change:
//  - ELF-only directives are dropped (symbol types and sizes, unwind annotations, build
//    attributes, .file/.ident, address-significance tables), and so are .cpu/.arch/.fpu, so that
//    the assembler's -march is the one check of the instruction set;
//  - sections map onto PE's: .text*, .data*, .bss*, .rodata* (read-only data is .rdata);
//    COMDAT groups become ".linkonce discard" sections named NAME$sym, where weak definitions
//    turn global;
//  - .local/.comm become definitions in .bss (the PE assembler has no .previous and no
//    three-argument .lcomm, so the current section is named again afterwards);
//  - sections that only hold notes for the ELF linker are skipped whole.
// A device library has no C runtime to run static constructors and no thread-local storage:
// input that needs either is refused with its file and line. The output is written beside its
// name and renamed over it only when whole.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace {

struct FilterError {
    size_t line;
    std::string message;
};

std::string_view trim(std::string_view s)
{
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = s.find_last_not_of(" \t\r");
    return s.substr(first, last - first + 1);
}

bool startsWith(std::string_view s, std::string_view prefix)
{
    return s.substr(0, prefix.size()) == prefix;
}

// The directive of a line ("" for an instruction, a label or a blank line) and its operands.
struct Statement {
    std::string_view directive;
    std::string_view operands;
};

Statement parseStatement(std::string_view line)
{
    const std::string_view text = trim(line);
    if (text.empty() || text[0] != '.' || text.back() == ':') {
        return {};
    }
    const auto end = text.find_first_of(" \t");
    if (end == std::string_view::npos) {
        return {text, {}};
    }
    return {text.substr(0, end), trim(text.substr(end))};
}

// Splits ".section NAME,"FLAGS",%TYPE,..." operands at commas outside quotes.
std::vector<std::string> splitOperands(std::string_view operands)
{
    std::vector<std::string> parts(1);
    bool quoted = false;
    for (const char c : operands) {
        if (c == '"') {
            quoted = !quoted;
        }
        if (c == ',' && !quoted) {
            parts.emplace_back();
            continue;
        }
        parts.back() += c;
    }
    for (auto &part : parts) {
        part = std::string(trim(part));
    }
    return parts;
}

// ELF directives with no meaning in a PE object.
constexpr std::string_view droppedDirectives[] = {
    ".type",        ".size",        ".fnstart",     ".fnend",       ".save",
    ".setfp",       ".pad",         ".cantunwind",  ".personality", ".personalityindex",
    ".handlerdata", ".movsp",       ".vsave",       ".unwind_raw",  ".eabi_attribute",
    ".ident",       ".addrsig",     ".addrsig_sym", ".file",        ".hidden",
    ".protected",   ".internal",    ".cpu",         ".arch",        ".arch_extension",
    ".fpu",         ".object_arch", ".tlsdescseq",
};

// Section name prefixes that only carry notes for an ELF linker or debugger.
constexpr std::string_view skippedSections[] = {
    ".note",           ".linker-options", ".llvm_addrsig", ".comment",
    ".ARM.attributes", ".debug",          ".ARM.exidx",    ".ARM.extab",
};

// Sections the device library has nothing to run or hold them with.
constexpr std::string_view refusedSections[] = {
    ".init_array", ".fini_array", ".ctors", ".dtors", ".preinit_array", ".tdata", ".tbss",
};

class Filter {
public:
    std::string run(std::istream &in)
    {
        std::string line;
        while (std::getline(in, line)) {
            ++lineNumber_;
            filterLine(line);
        }
        return out_.str();
    }

private:
    void filterLine(const std::string &line)
    {
        const Statement statement = parseStatement(line);
        const std::string_view directive = statement.directive;

        if (directive == ".section" || directive == ".text" || directive == ".data" || directive == ".bss") {
            enterSection(directive, statement.operands);
            return;
        }
        if (skipping_) {
            return;
        }
        for (const auto dropped : droppedDirectives) {
            if (directive == dropped) {
                return;
            }
        }
        if (directive == ".syntax" || directive == ".code") {
            out_ << line << '\n';
            return;
        }
        if (directive == ".weak") {
            // A weak definition only ever comes from a COMDAT group, which .linkonce already
            // lets the linker fold.
            out_ << "\t.globl\t" << statement.operands << '\n';
            return;
        }
        if (directive == ".local") {
            localSymbols_.emplace_back(statement.operands);
            return;
        }
        if (directive == ".comm" || directive == ".lcomm") {
            defineCommon(statement.operands);
            return;
        }
        if (directive == ".tbss" || directive == ".tdata" || directive == ".tls_common") {
            fail("thread-local storage has no place in a device library");
        }
        if (directive == ".reloc" || directive == ".symver" || directive == ".gnu_attribute") {
            fail("the ELF directive " + std::string(directive) + " has no PE equivalent");
        }
        out_ << line << '\n';
    }

    void enterSection(std::string_view directive, std::string_view operands)
    {
        std::string name;
        std::string flags;
        std::optional<std::string> group;
        if (directive != ".section") {
            name = std::string(directive);
        } else {
            const auto parts = splitOperands(operands);
            name = parts[0];
            if (name.size() >= 2 && name.front() == '"' && name.back() == '"') {
                name = name.substr(1, name.size() - 2);
            }
            if (parts.size() > 1) {
                flags = parts[1];
            }
            // ".section NAME,"axG",%progbits,GROUP,comdat"
            if (flags.find('G') != std::string::npos) {
                if (parts.size() < 4) {
                    fail("a COMDAT section without its group: " + std::string(operands));
                }
                group = parts[3];
            }
        }
        for (const auto refused : refusedSections) {
            if (startsWith(name, refused)) {
                fail("section " + name
                     + ": static constructors and thread-local storage need a "
                       "C runtime, which a device library does not have");
            }
        }
        for (const auto skipped : skippedSections) {
            if (startsWith(name, skipped)) {
                skipping_ = true;
                return;
            }
        }
        skipping_ = false;

        std::string kind;
        if (startsWith(name, ".text")) {
            kind = ".text";
        } else if (startsWith(name, ".rodata") || startsWith(name, ".data.rel.ro")) {
            kind = startsWith(name, ".rodata") ? ".rdata" : ".data";
        } else if (startsWith(name, ".data")) {
            kind = ".data";
        } else if (startsWith(name, ".bss")) {
            kind = ".bss";
        } else {
            fail("section " + name + " has no place in a device library");
        }

        std::ostringstream section;
        if (group) {
            // One section per COMDAT group, folded by the linker like Microsoft's own.
            section << "\t.section\t" << kind << '$' << *group << ',' << peFlags(kind) << "\n"
                    << "\t.linkonce\tdiscard";
        } else if (kind == ".rdata") {
            section << "\t.section\t.rdata," << peFlags(kind);
        } else {
            section << '\t' << kind;
        }
        currentSection_ = section.str();
        out_ << currentSection_ << '\n';
    }

    static std::string peFlags(const std::string &kind)
    {
        if (kind == ".text") {
            return "\"xr\"";
        }
        if (kind == ".rdata") {
            return "\"dr\"";
        }
        if (kind == ".bss") {
            return "\"b\"";
        }
        return "\"dw\"";
    }

    // ".comm sym,size,align": a zero-filled definition in .bss, global unless .local said so.
    void defineCommon(std::string_view operands)
    {
        const auto parts = splitOperands(operands);
        if (parts.size() < 2) {
            fail("a common symbol without its size: " + std::string(operands));
        }
        const std::string &symbol = parts[0];
        bool local = false;
        for (const auto &name : localSymbols_) {
            local = local || name == symbol;
        }
        out_ << "\t.bss\n";
        if (parts.size() > 2) {
            out_ << "\t.balign\t" << parts[2] << '\n';
        }
        if (!local) {
            out_ << "\t.globl\t" << symbol << '\n';
        }
        out_ << symbol << ":\n\t.space\t" << parts[1] << '\n';
        if (!currentSection_.empty()) {
            out_ << currentSection_ << '\n';
        }
    }

    [[noreturn]] void fail(const std::string &message) { throw FilterError{lineNumber_, message}; }

    std::ostringstream out_;
    std::string currentSection_ = "\t.text";
    std::vector<std::string> localSymbols_;
    bool skipping_ = false;
    size_t lineNumber_ = 0;
};

}   // namespace

int main(int argc, char **argv)
{
    if (argc == 2 && std::string_view(argv[1]) == "--help") {
        std::cout << "usage: ce-asm-filter IN.s OUT.s\n"
                     "Turns clang's ELF assembly for ARM into assembly for the Windows CE "
                     "(PE/COFF) assembler.\n";
        return 0;
    }
    if (argc != 3) {
        std::cerr << "usage: ce-asm-filter IN.s OUT.s\n";
        return 2;
    }
    const std::string inPath = argv[1];
    const std::string outPath = argv[2];
    std::ifstream in(inPath);
    if (!in) {
        std::cerr << inPath << ": cannot be read\n";
        return 2;
    }
    std::string text;
    try {
        text = Filter().run(in);
    } catch (const FilterError &error) {
        std::cerr << inPath << ':' << error.line << ": " << error.message << '\n';
        return 1;
    }
    const std::string partPath = outPath + ".part";
    {
        std::ofstream out(partPath, std::ios::binary | std::ios::trunc);
        out << text;
        out.close();
        if (!out) {
            std::cerr << partPath << ": cannot be written\n";
            std::remove(partPath.c_str());
            return 1;
        }
    }
    if (std::rename(partPath.c_str(), outPath.c_str()) != 0) {
        std::cerr << outPath << ": cannot be replaced\n";
        std::remove(partPath.c_str());
        return 1;
    }
    return 0;
}
