#pragma once

// The command line of lumivue-enhance, parsed and checked before any file is touched.

#include <cstdint>
#include <optional>

#include <QString>
#include <QStringList>

struct EnhanceOptions {
    QString input; // the first of inputs
    QStringList inputs; // more than one only with --stack
    bool stack { false };
    QString output;
    QByteArray outputFormat; // "png" or "jpeg", from the output's extension
    std::int32_t mode { 1 }; // auto
    std::int32_t level { 0 };
    std::int32_t filter { 0 }; // rgb
    std::int32_t threshold { 100 };
    std::int32_t sceneLevel { 0 };
    bool preview { false };
    std::int32_t radius { 0 };
    float zoom { 0.0f };
    bool help { false };
    bool version { false };
    bool kernels { false };

    // The options, or nullopt with a one-line reason in *error.
    static std::optional<EnhanceOptions> parse(const QStringList& arguments, QString* error);
    static QString usage();
};
