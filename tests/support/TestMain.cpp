// Test entry point: Qt's painting, fonts and event loops need an application object, and the
// tests must run on machines without a display, so the offscreen platform is the default.
#include <cstdlib>

#include <QApplication>
#include <QBuffer>
#include <QImage>
#include <QImageWriter>

#include <gtest/gtest.h>

namespace {

// Loads the JPEG plugin (and libjpeg with its thread-local state) before any test starts a
// thread. The sanitizers' runtimes mishandle the thread-local block of a library loaded after a
// thread began: ThreadSanitizer dies on a negative range in the album's worker, LeakSanitizer at
// exit. Loaded first, the block sits in every thread's static area.
void loadJpegCodec()
{
    QBuffer sink;
    sink.open(QIODevice::WriteOnly);
    QImage pixel(1, 1, QImage::Format_RGB32);
    pixel.fill(Qt::black);
    QImageWriter(&sink, "jpeg").write(pixel);
}

} // namespace

int main(int argc, char** argv)
{
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    loadJpegCodec();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
