#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>

#include "package/package_file.h"

namespace pagewend::book {

// Why a book could not be unpacked, as a kind that each frontend turns into its own sentence.
enum class BookErrorKind {
  Missing,     // the book's file does not exist
  Folder,      // the book's path is a folder
  Unreadable,  // the book's file cannot be read
  NotABook,    // no package at its end
  Damaged,     // a package whose contents could not be read
  NoRoom,      // the disk or the user's quota is full
  OverBudget,  // the book would write more than its run may
  Stopped,     // the run was asked to stop
};

struct BookError {
  BookErrorKind kind = BookErrorKind::Damaged;
  std::filesystem::path path;  // the book
  std::string detail;          // the run's own words, as its log has them
};

// What an unpack throws when it fails: the error as a value, carried across threads as it is.
class BookFailure : public std::runtime_error {
 public:
  explicit BookFailure(BookError error) : std::runtime_error(error.detail), error_(std::move(error)) {}
  const BookError& Error() const { return error_; }

 private:
  BookError error_;
};

// A run that would write more than its budget.
class OverBudgetError : public package::PackageError {
 public:
  using package::PackageError::PackageError;
};

}  // namespace pagewend::book
