// The twpack commands build, extract and check, on whole files read into
// memory.

#include "cli.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>

#include "info_check.h"
#include "ini_reader.h"
#include "init.h"
#include "pack.h"
#include "plan.h"

namespace {

const std::string kUsage = std::string(
    "usage: twpack build <twuninst.exe> <info.ini> -o <out.exe> [--replace]\n"
    "                    [--force] [--installed-as <path>]\n"
    "       twpack extract <uninstaller.exe> [-o <info.ini>]\n"
    "       twpack check <info.ini | uninstaller.exe> [--json]\n") + kInitUsage +
    "       twpack plan <uninstaller.exe | info.ini> [--json]     (twpack.exe only)\n"
    "       twpack --help\n";

struct Arguments {
    std::vector<std::string> files;
    std::string output;
    bool haveOutput = false;
    std::string installedAs;
    bool replace = false;
    bool force = false;
    bool json = false;
};

// Splits the words after the command into files and options; on a word it
// does not know it says so and returns false.
bool ParseArguments(const std::string& command, const std::vector<std::string>& args,
                    const std::vector<std::string>& allowed, Arguments* parsed, std::ostream& err)
{
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a.size() < 2 || a[0] != '-') {
            parsed->files.push_back(a);
            continue;
        }
        std::string option = a == "--output" ? "-o" : a;
        bool known = false;
        for (const std::string& k : allowed)
            known = known || k == option;
        if (!known) {
            err << "twpack " << command << ": unknown option '" << a << "'.\n" << kUsage;
            return false;
        }
        if (option == "-o" || option == "--installed-as") {
            if (i + 1 >= args.size()) {
                err << "twpack " << command << ": '" << a << "' needs a file name after it.\n";
                return false;
            }
            if (option == "-o") {
                parsed->output = args[++i];
                parsed->haveOutput = true;
            } else {
                parsed->installedAs = args[++i];
            }
        } else if (option == "--replace") {
            parsed->replace = true;
        } else if (option == "--force") {
            parsed->force = true;
        } else if (option == "--json") {
            parsed->json = true;
        }
    }
    return true;
}

bool ExpectFiles(const std::string& command, const Arguments& parsed, size_t count,
                 const char* what, std::ostream& err)
{
    if (parsed.files.size() == count)
        return true;
    err << "twpack " << command << ": expected " << what << ", got "
        << parsed.files.size() << (parsed.files.size() == 1 ? " file name" : " file names") << ".\n"
        << kUsage;
    return false;
}

// The values that the installer is to write into the program's
// installed-programs entry, for the uninstaller installed at installedAs
// (or, without it, under its output name in a folder left open).
void PrintEntryValues(const std::string& text, const Arguments& a, std::ostream& out)
{
    std::string key = ReadIniString(ParseIniText(text), "Options", "UninstallKey", "");
    if (key.empty())
        return;
    std::string path = a.installedAs;
    if (path.empty()) {
        size_t slash = a.output.find_last_of("/\\");
        path = "<install folder>\\" + (slash == std::string::npos ? a.output : a.output.substr(slash + 1));
    }
    out << "Write these values into the installed-programs entry\n"
           "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" << key << ":\n"
           "  UninstallString       \"" << path << "\" /s\n"
           "  QuietUninstallString  \"" << path << "\" /s /quiet\n";
    if (a.installedAs.empty())
        out << "(--installed-as <path> gives them with the uninstaller's installed path.)\n";
}

int RunBuild(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)
{
    Arguments a;
    if (!ParseArguments("build", args, { "-o", "--replace", "--force", "--installed-as" }, &a, err))
        return TWPACK_FAILED;
    if (!ExpectFiles("build", a, 2, "the uninstaller and the information file", err))
        return TWPACK_FAILED;
    if (!a.haveOutput) {
        err << "twpack build: say where to write the result with -o, for example:\n"
               "    twpack build twuninst.exe info.ini -o uninst.exe\n";
        return TWPACK_FAILED;
    }
    const std::string& exePath = a.files[0];
    const std::string& iniPath = a.files[1];
    std::string image, text, problem;
    if (!ReadWholeFile(exePath, &image, &problem)) {
        err << "twpack build: cannot read the uninstaller '" << exePath << "': " << problem << ".\n";
        return TWPACK_FAILED;
    }
    if (!ReadWholeFile(iniPath, &text, &problem)) {
        err << "twpack build: cannot read the information file '" << iniPath << "': " << problem << ".\n";
        return TWPACK_FAILED;
    }
    if (!LooksLikeExecutable(image)) {
        err << "twpack build: '" << exePath << "' is not a Windows program (it does not start with \"MZ\").\n"
               "The first file must be the uninstaller, twuninst.exe; the information file comes second.\n";
        return TWPACK_PROBLEMS;
    }
    if (LooksLikeExecutable(text)) {
        err << "twpack build: '" << iniPath << "' looks like a program, not an information file.\n"
               "The order is: twpack build <twuninst.exe> <info.ini> -o <out.exe>\n";
        return TWPACK_PROBLEMS;
    }
    if (text.empty()) {
        err << "twpack build: the information file '" << iniPath << "' is empty; the uninstaller would "
               "report that it cannot read its information.\n";
        return TWPACK_PROBLEMS;
    }
    size_t marker = FindBlockMarker(image);
    if (marker != std::string::npos && !a.replace) {
        err << "twpack build: '" << exePath << "' already carries uninstall information (it starts at byte "
            << marker << ").\nStart from the plain twuninst.exe, or add --replace to replace the "
               "information it carries.\n";
        return TWPACK_PROBLEMS;
    }

    std::vector<Finding> findings = CheckInfoText(text);
    if (!findings.empty())
        err << FormatFindingsText(findings, iniPath);
    size_t errors = CountFindings(findings, FindingLevel::Error);
    if (errors > 0 && !a.force) {
        err << "twpack build: not built, because the information has " << errors
            << (errors == 1 ? " error" : " errors")
            << " (listed above): the uninstaller would not remove what the file says.\n"
               "Correct the file, or add --force to build all the same.\n";
        return TWPACK_PROBLEMS;
    }

    std::string result = AppendBlock(StripBlock(image), text);
    if (!WriteWholeFile(a.output, result, &problem)) {
        err << "twpack build: cannot write '" << a.output << "': " << problem << ".\n";
        return TWPACK_FAILED;
    }
    out << "twpack build: wrote " << a.output << " (" << result.size() << " bytes: the uninstaller and "
        << text.size() << " bytes of uninstall information"
        << (marker != std::string::npos ? ", replacing the information it carried" : "") << ").\n";
    PrintEntryValues(text, a, out);
    return TWPACK_OK;
}

// Reads the information text out of an uninstaller; on failure says why.
bool ReadInfoFromExecutable(const std::string& command, const std::string& path, const std::string& image,
                            std::string* text, std::ostream& err)
{
    if (ExtractInfoText(image, text))
        return true;
    if (FindBlockMarker(image) != std::string::npos)
        err << "twpack " << command << ": '" << path << "' has the marker of an information block but no "
               "information after it; the uninstaller would report that it cannot read its information.\n";
    else
        err << "twpack " << command << ": '" << path << "' carries no uninstall information. "
               "Add it with: twpack build " << path << " info.ini -o <out.exe>\n";
    return false;
}

int RunExtract(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)
{
    Arguments a;
    if (!ParseArguments("extract", args, { "-o" }, &a, err))
        return TWPACK_FAILED;
    if (!ExpectFiles("extract", a, 1, "one uninstaller", err))
        return TWPACK_FAILED;
    std::string image, text, problem;
    if (!ReadWholeFile(a.files[0], &image, &problem)) {
        err << "twpack extract: cannot read '" << a.files[0] << "': " << problem << ".\n";
        return TWPACK_FAILED;
    }
    if (!ReadInfoFromExecutable("extract", a.files[0], image, &text, err))
        return TWPACK_PROBLEMS;
    if (!a.haveOutput) {
        out.write(text.data(), (std::streamsize)text.size());
        return out.good() ? TWPACK_OK : TWPACK_FAILED;
    }
    if (!WriteWholeFile(a.output, text, &problem)) {
        err << "twpack extract: cannot write '" << a.output << "': " << problem << ".\n";
        return TWPACK_FAILED;
    }
    return TWPACK_OK;
}

int RunCheck(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)
{
    Arguments a;
    if (!ParseArguments("check", args, { "--json" }, &a, err))
        return TWPACK_FAILED;
    if (!ExpectFiles("check", a, 1, "one information file or uninstaller", err))
        return TWPACK_FAILED;
    const std::string& path = a.files[0];
    std::string data, problem;
    if (!ReadWholeFile(path, &data, &problem)) {
        err << "twpack check: cannot read '" << path << "': " << problem << ".\n";
        return TWPACK_FAILED;
    }
    std::string text = data;
    std::vector<Finding> findings;
    if (LooksLikeExecutable(data) && !ExtractInfoText(data, &text)) {
        // Reported like any other finding, so that --json stays JSON.
        Finding f;
        f.message = FindBlockMarker(data) != std::string::npos
                        ? "This program has the marker of an information block but no information after "
                          "it; the uninstaller would report that it cannot read its information."
                        : "This program carries no uninstall information. Add it with: twpack build " +
                              path + " info.ini -o <out.exe>";
        findings.push_back(f);
    } else {
        findings = CheckInfoText(text);
    }
    out << (a.json ? FormatFindingsJson(findings, path) : FormatFindingsText(findings, path));
    return CountFindings(findings, FindingLevel::Error) > 0 ? TWPACK_PROBLEMS : TWPACK_OK;
}

}  // namespace

const char kPlanHelp[] =
    "  plan      Show what an uninstaller would do on this machine, section by\n"
    "            section, without changing anything: each file (deleted, missing,\n"
    "            read-only, with its side files), each directory (removed, or\n"
    "            staying because it still holds files that are not listed), each\n"
    "            program group, each registry tree (with its keys and values) and\n"
    "            the installed-programs entry. Run it with twpack.exe on the\n"
    "            machine in question, on the installed uninstaller or a file.\n"
    "              --json        the plan as JSON, for scripts\n";

#ifndef _WIN32
int RunPlan(const std::vector<std::string>&, std::ostream&, std::ostream& err)
{
    err << "twpack plan: the plan is made by looking at the Windows machine that the uninstaller would run\n"
           "on; run twpack.exe there (or under Wine).\n";
    return TWPACK_FAILED;
}
#endif

bool ReadWholeFile(const std::string& path, std::string* data, std::string* problem)
{
    FILE* f = fopen(path.c_str(), "rb");
    if (f == nullptr) {
        *problem = strerror(errno);
        return false;
    }
    data->clear();
    char chunk[65536];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, f)) > 0)
        data->append(chunk, n);
    bool ok = !ferror(f);
    if (!ok)
        *problem = strerror(errno);
    fclose(f);
    return ok;
}

bool WriteWholeFile(const std::string& path, const std::string& data, std::string* problem)
{
    FILE* f = fopen(path.c_str(), "wb");
    if (f == nullptr) {
        *problem = strerror(errno);
        return false;
    }
    bool ok = fwrite(data.data(), 1, data.size(), f) == data.size();
    if (!ok)
        *problem = strerror(errno);
    if (fclose(f) != 0 && ok) {
        *problem = strerror(errno);
        ok = false;
    }
    return ok;
}

std::string TwpackHelp()
{
    return
        "twpack - build, look inside and check a Tarnwick Uninstaller\n"
        "\n"
        "The uninstaller, twuninst.exe, carries the list of what it removes at the end\n"
        "of its own file: a text in INI format (the \"information file\"). twpack\n"
        "writes that text from a staged installation, attaches it to a copy of\n"
        "twuninst.exe, reads it back out of a built uninstaller, checks it for\n"
        "mistakes that would otherwise show only when a user uninstalls, and shows\n"
        "what an uninstaller would remove from a machine before it runs there.\n"
        "\n"
        + kUsage +
        "\n"
        "Commands:\n"
        "  build     Write <out.exe>: twuninst.exe with <info.ini> attached. The file is\n"
        "            checked first; errors stop the build.\n"
        "              -o <out.exe>  where to write the uninstaller to ship (required)\n"
        "              --replace     the input already carries information: replace it\n"
        "              --force       build even when the check finds errors\n"
        "              --installed-as <path>\n"
        "                            where the installer puts <out.exe>: build then\n"
        "                            prints the UninstallString and QuietUninstallString\n"
        "                            to write into the installed-programs entry\n"
        "  extract   Write the information that an uninstaller carries, byte for byte\n"
        "            as the uninstaller itself will see it, to standard output or -o.\n"
        "  check     Check an information file, or the information inside an\n"
        "            uninstaller. Each finding names the line, section and key, says\n"
        "            error or warning, and explains what the uninstaller would do.\n"
        "              --json        the findings as JSON, for build pipelines\n"
        + kInitHelp + kPlanHelp +
        "\n"
        "Exit status: 0 done (check: no errors, maybe warnings); 1 the check found\n"
        "errors, build or init refused its input, or plan found that nothing would\n"
        "be removed; 2 wrong command line, or a file could not be read or written.\n"
        "\n"
        "The information file (plain ANSI text; names ignore case):\n"
        "  [Options]\n"
        "  UninstallKey=Sample App        the program's entry in the installed-programs\n"
        "                                 list (required)\n"
        "  [Files]                        files, and directories ending in a backslash\n"
        "  0=C:\\Program Files\\Sample App\\sample.exe\n"
        "  1=C:\\Program Files\\Sample App\\\n"
        "  [Group]                        Start-menu folders, relative to Programs\n"
        "  CommonGroup=0                  0 = this user's Start menu, 1 = all users'\n"
        "  0=Sample App\n"
        "  [Registry_CURRENT_USER]        registry key trees to delete, below the root\n"
        "  0=Software\\Sample Vendor\\Sample App\n"
        "  The same for [Registry_CLASSES_ROOT], [Registry_LOCAL_MACHINE] and\n"
        "  [Registry_USERS].\n"
        "\n"
        "Rules that the check enforces:\n"
        "  - Lists are numbered 0, 1, 2, ... and read until the first missing or empty\n"
        "    number: everything after a gap is ignored.\n"
        "  - Each value is at most 259 characters.\n"
        "  - Files are deleted first; directories are removed at the very end, in list\n"
        "    order, and only when empty: list a directory after the directories\n"
        "    inside it.\n"
        "  - Paths in [Files] are full paths; registry paths start below the root\n"
        "    that the section names.\n"
        "  - Registry keys go with everything below them: never list shared keys such as\n"
        "    Software or SOFTWARE\\Microsoft (the uninstaller refuses them).\n"
        "  - A group named like the Startup folder is never removed.\n";
}

int RunTwpack(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)
{
    if (args.empty()) {
        err << kUsage << "Run 'twpack --help' for what the commands do and what the information file holds.\n";
        return TWPACK_FAILED;
    }
    const std::string& command = args[0];
    if (command == "--help" || command == "-h" || command == "help" || command == "/?") {
        out << TwpackHelp();
        return TWPACK_OK;
    }
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--help" || args[i] == "-h") {
            out << TwpackHelp();
            return TWPACK_OK;
        }
    }
    if (command == "build")
        return RunBuild(args, out, err);
    if (command == "extract")
        return RunExtract(args, out, err);
    if (command == "check")
        return RunCheck(args, out, err);
    if (command == "init")
        return RunInit(args, out, err);
    if (command == "plan")
        return RunPlan(args, out, err);
    err << "twpack: unknown command '" << command << "'.\n" << kUsage
        << "Run 'twpack --help' for what the commands do.\n";
    return TWPACK_FAILED;
}
