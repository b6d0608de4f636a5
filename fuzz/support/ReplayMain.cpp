// The replay driver of the plain (non-libFuzzer) builds: feeds every file named on the command
// line, or found in a folder named there, to the harness once. A folder that does not exist is
// skipped (a target may have no kept regression inputs yet), but at least one input must run, so
// a seed generator that wrote nothing is noticed. A harness that finds a fault aborts, which
// fails the test; the name of the input is printed first so the failure says which one.

#include <cstdint>
#include <cstdio>
#include <vector>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

bool replay(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "replay: cannot read %s\n", qPrintable(path));
        return false;
    }
    const QByteArray bytes = file.readAll();
    std::fprintf(stderr, "replay: %s (%lld bytes)\n", qPrintable(path), static_cast<long long>(bytes.size()));
    // A copy of exactly the input's length, so that reading one byte past it is caught by ASan.
    std::vector<std::uint8_t> exact(bytes.begin(), bytes.end());
    LLVMFuzzerTestOneInput(exact.data(), exact.size());
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    int replayed = 0;
    bool ok = true;
    for (int i = 1; i < argc; ++i) {
        const QFileInfo info(QString::fromLocal8Bit(argv[i]));
        if (info.isDir()) {
            const QStringList names = QDir(info.filePath()).entryList(QDir::Files, QDir::Name);
            for (const QString& name : names) {
                ok = replay(QDir(info.filePath()).filePath(name)) && ok;
                ++replayed;
            }
        } else if (info.exists()) {
            ok = replay(info.filePath()) && ok;
            ++replayed;
        }
    }
    std::fprintf(stderr, "replay: %d input(s)\n", replayed);
    if (replayed == 0) {
        std::fprintf(stderr, "replay: no input found\n");
        return 1;
    }
    return ok ? 0 : 1;
}
