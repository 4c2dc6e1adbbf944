// tamborel: the studio program's command line.
//   tamborel machines [--json]   list every machine type
#include "app/application.h"
#include "app/machines_command.h"
#include "platform/error.h"

#include <cstring>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

namespace {

void PrintUsage(std::ostream& out) {
    out << "usage: tamborel machines [--json]\n";
}

int RunMachines(const std::vector<std::string>& args) {
    bool json = false;
    for (const auto& arg : args) {
        if (arg == "--json")
            json = true;
        else
            platform::Raise("Unknown option '%s'", arg.c_str());
    }
    CApplication application(CApplication::Settings{});
    ListMachines(*application.Registry(), json, std::cout);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    try {
        if (args.empty() || args[0] == "--help" || args[0] == "-h") {
            PrintUsage(args.empty() ? std::cerr : std::cout);
            return args.empty() ? 2 : 0;
        }
        const std::string command = args[0];
        args.erase(args.begin());
        if (command == "machines") return RunMachines(args);
        PrintUsage(std::cerr);
        return 2;
    } catch (const std::exception& error) {
        std::cerr << "tamborel: " << error.what() << '\n';
        return 1;
    }
}
