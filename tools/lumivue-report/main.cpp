// lumivue-report: shows what the analytics layer sends, as JSON.
//
//   lumivue-report decode FILE    a binary report (FILE "-" reads standard input)
//   lumivue-report archive FILE   a session archive, saved-sessions or initial-timestamp file
//
// Input is read to at most 64 MiB (the most the app itself ever reads back from one of its files);
// anything longer, such as /dev/zero or an endless pipe, is refused without reading further.
//
// Exit status: 0 decoded; 2 a wrong command line (as for every Lumivue program) or unreadable, too
// long, malformed or truncated input (one line on standard error).

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <string>

#include <QByteArray>
#include <QFile>
#include <QJsonDocument>

#include "analytics/TallyArchiveDecoder.h"
#include "analytics/TallyReportDecoder.h"

namespace {

constexpr int exitUsage = 2; // the same for every Lumivue program
constexpr int exitBadInput = 2;
constexpr qint64 kMaxInputBytes = 64 * 1024 * 1024;

const char* const usageText
    = "Usage: lumivue-report COMMAND FILE\n"
      "\n"
      "Prints an analytics report or file of Lumivue as JSON.\n"
      "\n"
      "Commands:\n"
      "  decode FILE   decode a binary report (as uploaded); FILE - reads standard input\n"
      "  archive FILE  decode an analytics file: the current session (.tallyCurrent*),\n"
      "                the saved sessions (.tallyStored*) or the initial timestamp\n"
      "\n"
      "Options:\n"
      "  -h, --help    show this help\n"
      "  --version     show the version\n"
      "\n"
      "Input longer than 64 MiB is refused.\n"
      "\n"
      "Exit status: 0 decoded, 2 wrong usage or unreadable, too long, malformed or\n"
      "truncated input.\n";

int usageError(const char* message)
{
    std::fprintf(stderr, "lumivue-report: %s\nTry 'lumivue-report --help'.\n", message);
    return exitUsage;
}

bool readInput(const char* path, QByteArray& bytes)
{
    QFile file;
    const bool opened = std::strcmp(path, "-") == 0
        ? file.open(stdin, QIODevice::ReadOnly)
        : (file.setFileName(QString::fromLocal8Bit(path)), file.open(QIODevice::ReadOnly));
    if (!opened) {
        std::fprintf(stderr, "lumivue-report: cannot read %s: %s\n", path, qPrintable(file.errorString()));
        return false;
    }
    // Read in slices rather than readAll(): a device that never ends must not grow memory first.
    bytes.clear();
    while (bytes.size() <= kMaxInputBytes) {
        const QByteArray slice = file.read(std::min<qint64>(1 << 20, kMaxInputBytes + 1 - bytes.size()));
        if (slice.isEmpty())
            break;
        bytes.append(slice);
    }
    if (file.error() != QFileDevice::NoError) {
        std::fprintf(stderr, "lumivue-report: cannot read %s: %s\n", path, qPrintable(file.errorString()));
        return false;
    }
    if (bytes.size() > kMaxInputBytes) {
        std::fprintf(stderr, "lumivue-report: %s: input longer than %lld MiB refused\n", path,
            static_cast<long long>(kMaxInputBytes >> 20));
        return false;
    }
    return true;
}

// Reads the file, decodes it with `decodeBytes` and prints the result as indented JSON.
template <typename Decode> int printDecoded(const char* path, Decode decodeBytes)
{
    QByteArray bytes;
    if (!readInput(path, bytes))
        return exitBadInput;
    const auto result = decodeBytes(bytes);
    if (!result.ok()) {
        std::fprintf(stderr, "lumivue-report: %s: %s\n", path, qPrintable(result.error));
        return exitBadInput;
    }
    const QByteArray json = QJsonDocument(result.json).toJson(QJsonDocument::Indented);
    std::fwrite(json.constData(), 1, static_cast<size_t>(json.size()), stdout);
    return 0;
}

int decode(const char* path)
{
    return printDecoded(
        path, [](const QByteArray& bytes) { return analytics::TallyReportDecoder::decodeReport(bytes); });
}

int archive(const char* path)
{
    return printDecoded(
        path, [](const QByteArray& bytes) { return analytics::TallyArchiveDecoder::decode(bytes); });
}

} // namespace

int main(int argc, char** argv)
{
    // Each command takes one file.
    const std::map<std::string, std::function<int(const char*)>> commands {
        { "decode", decode },
        { "archive", archive },
    };
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-h") == 0 || std::strcmp(argv[i], "--help") == 0) {
            std::fputs(usageText, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::puts("lumivue-report " LUMIVUE_VERSION);
            return 0;
        }
    }
    if (argc < 2)
        return usageError("missing command");
    const auto command = commands.find(argv[1]);
    if (command == commands.end())
        return usageError((std::string("unknown command '") + argv[1] + "'").c_str());
    if (argc != 3)
        return usageError("expected exactly one FILE");
    return command->second(argv[2]);
}
