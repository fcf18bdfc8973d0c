#include "capture/file_output.h"

#include "core/error.h"

namespace pixtrel {
namespace {

[[noreturn]] void WriteError() {
  throw Error("Erreur d'écriture dans le flux");
}

}  // namespace

std::unique_ptr<OutputFile> CreateImageFile(Files& files, const std::string& path) {
  StartedFile started = files.StartFile(path, {});
  if (!started.file) {
    throw Error(FormatText("Impossible de créer le fichier \"%s\". %s", {path, started.reason}));
  }
  return std::move(started.file);
}

void WriteOrFail(OutputFile& file, const void* data, std::size_t size) {
  if (file.Write(data, size) != size)
    WriteError();
}

void CommitOrFail(OutputFile& file) {
  if (!file.Commit())
    WriteError();
}

}  // namespace pixtrel
