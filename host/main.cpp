// durvo-today: the emulated Pocket PC Today screen and scenario runner.
#include "arm_device.h"
#include "device.h"
#include "device_installer.h"
#include "runner.h"
#include "script.h"

#include <control.h>
#include <setup_record_format.h>

#include <charconv>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <unistd.h>

namespace {

constexpr const char *kUsage
    = "usage: durvo-today [--device DIR] [--dpi 96|192] [--os MAJOR.MINOR] [--platform NAME]\n"
      "                   [--processor x86-64|arm|mips|sh3] [SCRIPT|-]\n"
      "\n"
      "Runs a scenario script (from SCRIPT, or standard input for '-' or none) on a simulated\n"
      "Pocket PC whose Today screen loads the Durvo item, and prints the item's lines whenever\n"
      "they change.\n"
      "\n"
      "  --device DIR    device folder: DIR/registry.reg is loaded at start and written at exit,\n"
      "                  DIR/fs/ is the device's file system (default ./device)\n"
      "  --dpi N         96 (240 x 320 screen, the default) or 192 (480 x 640)\n"
      "  --os M.N        operating system version (default 4.20)\n"
      "  --platform S    platform type (default PocketPC)\n"
      "  --processor P   the device's processor: x86-64 (the default: the development device,\n"
      "                  which runs the plug-in built for this machine from its own cabinet),\n"
      "                  arm (StrongARM: the emulated ARM device, which runs the shipped CE\n"
      "                  ARM library, this program built for ARM under qemu-arm), mips or sh3\n"
      "  --help          this text\n"
      "\n"
      "Script commands, one a line, '#' starts a comment:\n"
      "  clock YYYY-MM-DD HH:MM:SS    set the local time\n"
      "  tickcount N                  set the tick count\n"
      "  power AC FLAG PERCENT        power status bytes 0, 1, 2 (decimal); power fail: the call fails\n"
      "  boot                         start the Today screen; on a device without the Durvo\n"
      "                               item, first install the built cabinet for its processor\n"
      "  boot empty                   start the Today screen on a device with nothing installed\n"
      "  install FILE.CAB             the device's installer carries out a cabinet (relative to\n"
      "                               the current folder); a refused cabinet ends the run\n"
      "  softreset                    restart the device (programs end, registry and files stay)\n"
      "  run DURATION [every MS]      let the device run (timers fire), in steps of MS (1000)\n"
      "  sleep DURATION               the device sleeps: time passes, no timer fires\n"
      "  show                         print the item's lines as drawn, prefixed \"item: \"\n"
      "  screenshot FILE.png          save the Today screen (relative to the current folder)\n"
      "  window TITLE | hide TITLE | close TITLE   another program's top-level window\n"
      "  setting NAME VALUE           a 4-byte number of the meter's store (dvLogProcess ...),\n"
      "                               written at the next boot or softreset\n"
      "  tap [X Y]                    tap the item at client point X Y (default 10 5)\n"
      "  action                       the action key on the item\n"
      "  settings                     open the item's options page as the Today settings do\n"
      "The desktop beside the device (DIR/desktop: registry.reg, drive C: in c/):\n"
      "  desktop-sync PATH            the synchronisation software installed at PATH (C:\\...)\n"
      "  setup                        run DurvoSetup on the desktop; the programs it starts are\n"
      "                               printed as 'exec: LINE'; the application manager hands the\n"
      "                               cabinet for the device's processor to the device\n"
      "Answer lines, right after the command whose prompts they answer, one per prompt:\n"
      "  menu TEXT | menu dismiss     choose the popup menu item TEXT, or dismiss the menu\n"
      "  answer yes|no|ok             press a message box button\n"
      "  options ID=VALUE ...         set the page's controls (1001=on, 1002=off, 1005=2,\n"
      "                               1009=tap), then OK\n"
      "  licence install|cancel       press Install or Cancel in the setup's licence dialog\n"
      "  Each may end in 'screenshot FILE.png': the screen while the prompt is shown.\n"
      "Prompts are printed as 'box \"CAPTION\": TEXT', 'menu: ITEM | ...', 'page \"TITLE\": ...',\n"
      "'dialog \"TITLE\"';\n"
      "one the script does not answer ends the run (exit status 1).\n"
      "Durations: 500ms, 7s, 15m, 2h, 1h30m.\n"
      "Exit status: 0 done, 1 a command could not be carried out, a prompt went unanswered or\n"
      "something was left at exit (a window, timer, GDI object or library), 2 bad arguments, script\n"
      "or registry file.\n";

struct Arguments {
    std::filesystem::path device = "device";
    int dpi = 96;
    DWORD osMajor = 4, osMinor = 20;
    std::string platform = "PocketPC";
#if defined(__arm__)
    uint32_t processor = package::ce::kProcessorStrongArm;
#else
    uint32_t processor = package::ce::kProcessorAmdX8664;
#endif
    std::string script = "-";
};

int usageError(const std::string &message)
{
    std::cerr << "durvo-today: " << message << "\n" << kUsage;
    return 2;
}

bool parseVersion(std::string_view text, DWORD *major, DWORD *minor)
{
    size_t dot = text.find('.');
    if (dot == std::string_view::npos) return false;
    auto number = [](std::string_view s, DWORD *out) {
        auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), *out);
        return !s.empty() && ec == std::errc() && end == s.data() + s.size();
    };
    return number(text.substr(0, dot), major) && number(text.substr(dot + 1), minor);
}

// Returns -1 when the arguments are good, else the exit status.
int parseArguments(int argc, char **argv, Arguments *args)
{
    bool haveScript = false;
    for (int i = 1; i < argc; ++i) {
        std::string_view a = argv[i];
        auto value = [&](std::string *out) {
            if (i + 1 >= argc) return false;
            *out = argv[++i];
            return true;
        };
        std::string v;
        if (a == "--help" || a == "-h") {
            std::cout << kUsage;
            return 0;
        } else if (a == "--device") {
            if (!value(&v)) return usageError("--device needs a folder");
            args->device = v;
        } else if (a == "--dpi") {
            if (!value(&v) || (v != "96" && v != "192")) return usageError("--dpi is 96 or 192");
            args->dpi = std::stoi(v);
        } else if (a == "--os") {
            if (!value(&v) || !parseVersion(v, &args->osMajor, &args->osMinor))
                return usageError("--os wants MAJOR.MINOR, like 4.20");
        } else if (a == "--platform") {
            if (!value(&v) || v.empty()) return usageError("--platform needs a name");
            args->platform = v;
        } else if (a == "--processor") {
            std::optional<uint32_t> processor;
            if (value(&v)) processor = host::processorOfName(v);
            if (!processor) return usageError("--processor is x86-64, arm, mips or sh3");
            args->processor = *processor;
        } else if (a.size() > 1 && a[0] == '-') {
            return usageError("unknown option " + std::string(a));
        } else if (haveScript) {
            return usageError("only one script");
        } else {
            args->script = a;
            haveScript = true;
        }
    }
    return -1;
}

bool readScript(const std::string &path, std::string *text)
{
    std::stringstream buffer;
    if (path == "-") {
        buffer << std::cin.rdbuf();
    } else {
        std::ifstream in(path, std::ios::binary);
        if (!in) return false;
        buffer << in.rdbuf();
    }
    *text = buffer.str();
    return true;
}

}   // namespace

#if defined(__SANITIZE_ADDRESS__)
// Fontconfig keeps its font caches for the life of the process, by design; under the leak
// checker they would fail every run that drew text.
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}
#endif

int main(int argc, char **argv)
{
    Arguments args;
    if (int status = parseArguments(argc, argv, &args); status >= 0) return status;
#if !defined(__arm__)
    // This device runs x86-64 code; the ARM library runs on the ARM device.
    if (args.processor == package::ce::kProcessorStrongArm) return host::runArmDevice(argv);
#endif

    std::string text;
    if (!readScript(args.script, &text)) {
        std::cerr << "durvo-today: cannot read " << args.script << "\n";
        return 2;
    }
    host::Script script;
    std::vector<std::string> errors;
    if (!host::parseScript(text, args.script == "-" ? "<stdin>" : args.script, &script, &errors)) {
        for (const std::string &e : errors) std::cerr << e << "\n";
        return 2;
    }

    control::resetDevice();
    control::setDpi(args.dpi);
    // The shell's user-interface font grows with the screen, as on a high-resolution device.
    control::setShellUiMetrics(true, 12 * args.dpi / 96);
    control::setOsVersion(args.osMajor, args.osMinor);
    control::setPlatformType(control::fromUtf8(args.platform));

    host::DeviceFolder device(args.device);
    std::string why;
    if (!device.prepare(&why) || !device.loadRegistry(&why)) {
        std::cerr << "durvo-today: " << why << "\n";
        return 2;
    }

    host::Runner::Options options;
    options.look = host::ScreenLook{240 * args.dpi / 96, 320 * args.dpi / 96, args.dpi};
    options.processor = args.processor;
    options.builtCabinet = host::builtCabinet(args.processor);
    options.deviceDir = args.device;
    options.setupProgram = host::builtSetupProgram();
    options.progress = isatty(STDERR_FILENO) != 0;
    host::Runner runner(script, options, std::cout, std::cerr);
    bool ran = runner.run();

    // The desktop's registry in the device's place would overwrite the device's file.
    if (runner.deviceRegistryLost()) {
        std::cerr << "durvo-today: the device's registry was not put back; " << device.registryFile().string()
                  << " is left as it was\n";
        return 1;
    }
    if (!device.saveRegistry(&why)) {
        std::cerr << "durvo-today: " << why << "\n";
        return 1;
    }
    // Everything that ran has ended: whatever a program did not give back is a leak.
    if (std::string left = control::describeLeftovers(); !left.empty()) {
        std::cerr << "durvo-today: left at exit: " << left << "\n";
        return 1;
    }
    return ran ? 0 : 1;
}
