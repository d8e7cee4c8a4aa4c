#pragma once

// The subcommands that run without a window. Each returns the process's exit code: 0 done,
// 1 failed (the reason is on stderr), 2 wrong usage. They need a QCoreApplication.

#include <QString>
#include <QStringList>
#include <cstdio>

#include "app/commandline.h"
#include "output/export/exportformat.h"

namespace vkt {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

// The program's message for a measurement file that is damaged, locked or missing.
inline constexpr const char* kDamagedDatabase = "База данных повреждена !";

int run_download(const CommandLine& command);
// What `export` writes (format and CSV marks) for a file whose first row gives `device_code`.
output::ExportRequest export_request(const CommandLine& command, std::uint8_t device_code);
int run_export(const CommandLine& command);
// export --waveforms.
int run_waveform_export(const CommandLine& command);
int run_dump(const CommandLine& command);
int run_simulate(const CommandLine& command);
int run_ports(const CommandLine& command);
// Needs a QGuiApplication: the pages are drawn with fonts.
int run_protocol(const CommandLine& command);
// The instrument's identification on `port` without a download, or why there is none.
QString probe_port(const QString& port);
// The automatic search starts at the port kept in the settings and keeps the one that answered.
void keep_last_port_in_settings();

// The ports a download tries: those given, else the "Ports" setting, else the automatic search.
QStringList download_ports(const QStringList& given);

// "vkt-rs7: text" and a line feed.
void print_error(const QString& text);
void print_to(std::FILE* stream, const QString& text);

}  // namespace vkt
