#pragma once
// Helpers for tests that run desktop programs: environment changes undone at the end of a test,
// stub programs that record their arguments, and running a program for its output.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <optional>
#include <stdexcept>
#include <utility>
#include <vector>

#include "tests/common/TestUtil.h"

namespace kvtest {

class ScopedEnv {
 public:
  ScopedEnv() = default;
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;
  ~ScopedEnv() {
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
      if (it->second)
        qputenv(it->first.constData(), *it->second);
      else
        qunsetenv(it->first.constData());
    }
  }
  void Set(const char* name, const QString& value) {
    Save(name);
    qputenv(name, value.toUtf8());
  }
  void Unset(const char* name) {
    Save(name);
    qunsetenv(name);
  }
  // Puts dir first on the PATH.
  void PrependPath(const QString& dir) { Set("PATH", dir + ":" + qEnvironmentVariable("PATH")); }

 private:
  void Save(const char* name) {
    std::optional<QByteArray> old;
    if (qEnvironmentVariableIsSet(name)) old = qgetenv(name);
    saved_.emplace_back(QByteArray(name), std::move(old));
  }
  std::vector<std::pair<QByteArray, std::optional<QByteArray>>> saved_;
};

inline QString WriteStub(const QString& dir, const QString& name, const QByteArray& body) {
  QDir().mkpath(dir);
  const QString path = dir + "/" + name;
  WriteFile(path, "#!/bin/sh\n" + body);
  QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  return path;
}

// A stub that appends each of its arguments as a line to logPath, then a line "--".
inline QString WriteRecordingStub(const QString& dir, const QString& name, const QString& logPath,
                                  int exitCode = 0) {
  return WriteStub(dir, name,
                   "for a in \"$@\"; do printf '%s\\n' \"$a\" >> '" + logPath.toUtf8() +
                       "'; done\nprintf -- '--\\n' >> '" + logPath.toUtf8() + "'\nexit " +
                       QByteArray::number(exitCode) + "\n");
}

// The recorded calls, each a list of arguments.
inline std::vector<QStringList> ReadCalls(const QString& logPath) {
  std::vector<QStringList> calls;
  QFile f(logPath);
  if (!f.open(QIODevice::ReadOnly)) return calls;
  QStringList current;
  for (const QString& line : QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts)) {
    if (line == "--") {
      calls.push_back(current);
      current.clear();
    } else {
      current << line;
    }
  }
  return calls;
}

struct RunResult {
  bool finished = false;
  int exitCode = -1;
  QString out, err;
};

// Runs a program to its end; an empty env leaves it the test's own environment.
inline RunResult RunProgram(const QString& program, const QStringList& args, int timeoutMs = 10000,
                            const QProcessEnvironment& env = {}) {
  QProcess p;
  if (!env.isEmpty()) p.setProcessEnvironment(env);
  p.start(program, args);
  RunResult r;
  if (!p.waitForStarted(timeoutMs)) return r;
  if (!p.waitForFinished(timeoutMs)) {
    p.kill();
    p.waitForFinished(1000);
    return r;
  }
  r.finished = p.exitStatus() == QProcess::NormalExit;
  r.exitCode = p.exitCode();
  r.out = QString::fromUtf8(p.readAllStandardOutput());
  r.err = QString::fromUtf8(p.readAllStandardError());
  return r;
}

// A picture whose every pixel differs from its neighbours, saved as a 24-bit BMP.
inline QImage PatternImage(int w, int h, int shift = 0) {
  QImage img(w, h, QImage::Format_RGB32);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      img.setPixel(x, y, qRgb((x * 7 + shift) & 255, (y * 13 + shift) & 255, (x + y * 3) & 255));
  return img;
}

inline void SavePicture(const QImage& img, const QString& path) {
  QDir().mkpath(QFileInfo(path).path());
  if (!img.save(path, "BMP")) throw std::runtime_error("cannot save " + path.toStdString());
}

}  // namespace kvtest
