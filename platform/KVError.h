#pragma once
#include <QString>
#include <exception>
#include <string>

// The one base of the program's exceptions: a message meant for the user or the log, and where
// the system gave one, its own reason ("No space left on device", "Permission denied").
class EKVError : public std::exception {
 public:
  explicit EKVError(QString message, QString reason = {})
      : message_(std::move(message)), reason_(std::move(reason)), utf8_(message_.toStdString()) {}
  const QString& Message() const { return message_; }
  // The system's reason; the message when there is none.
  QString Reason() const { return reason_.isEmpty() ? message_ : reason_; }
  const char* what() const noexcept override { return utf8_.c_str(); }

 private:
  QString message_;
  QString reason_;
  std::string utf8_;
};

#define KV_DECLARE_ERROR(Name, Base)   \
  class Name : public Base {           \
   public:                             \
    using Base::Base;                  \
  };

KV_DECLARE_ERROR(EConvertError, EKVError)   // assignment between unrelated classes, bad conversions
KV_DECLARE_ERROR(EReadError, EKVError)      // a property value that cannot be applied
KV_DECLARE_ERROR(EStreamError, EKVError)    // short reads, bad stream data
KV_DECLARE_ERROR(EFOpenError, EStreamError)
KV_DECLARE_ERROR(EFCreateError, EStreamError)
KV_DECLARE_ERROR(EZlibError, EStreamError)  // corrupt compressed data
KV_DECLARE_ERROR(ERegistryError, EKVError)
KV_DECLARE_ERROR(EComponentError, EKVError)

// Malformed object text; Line is 1-based.
class EParserError : public EKVError {
 public:
  EParserError(const QString& message, int line)
      : EKVError(QStringLiteral("%1 on line %2").arg(message).arg(line)), line_(line) {}
  int Line() const { return line_; }

 private:
  int line_;
};
