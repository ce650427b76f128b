// A private, read-only, in-memory snapshot of an SQLite database that another
// program (a running browser) may be writing. The database file, its -wal and
// its -journal are read into memory with bounded reads, brought up to date
// there, and opened with sqlite3_deserialize. Nothing is created, locked or
// written beside the database, and no copy ever reaches a disk.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

struct sqlite3;

namespace sources::sqlite {

struct SnapshotOptions {
  // Reads of the whole set of files before giving up on one that keeps
  // changing, or rolling back a journal that stays hot.
  int attempts = 5;
  std::chrono::milliseconds settle{40};
  // Files larger than this are not read.
  std::uint64_t maxFileBytes = std::uint64_t{2} << 30;
};

// An open in-memory database over an image it owns; SQLite reads the image
// in place and never writes it.
class Database {
 public:
  Database(sqlite3* handle, std::string image) : handle_(handle), image_(std::move(image)) {}
  ~Database();
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;
  sqlite3* Handle() const { return handle_; }

 private:
  sqlite3* handle_;
  std::string image_;  // outlives the handle: the destructor closes it first
};

struct Snapshot {
  enum class Status { kOpen, kAbsent, kUnreadable };
  Status status = Status::kAbsent;
  std::unique_ptr<Database> database;  // set when kOpen
  std::string problem;                 // why kUnreadable, in words
  bool walApplied = false;
  bool journalRolledBack = false;
};

// kAbsent when `path` does not exist; kUnreadable (with a reason) when it is
// not a regular file, cannot be read, keeps changing, or is no database.
Snapshot OpenSnapshot(const std::string& path, const SnapshotOptions& options = {});

// Opens bytes already in memory (tests, fuzzers): the image as it would be
// read from disk, with its log or journal (empty when there is none).
Snapshot OpenImage(std::string image, const std::string& wal, const std::string& journal);

}  // namespace sources::sqlite
