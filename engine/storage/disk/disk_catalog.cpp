#include "engine/storage/disk/disk_catalog.h"

#include "engine/storage/disk_page_manager.h"

namespace viz {

TABSDiskCatalog::TABSDiskCatalog(TABSDiskPageManager& manager)
    : manager_(manager), directory_(manager), sessions_(manager), tables_(manager) {}

void TABSDiskCatalog::Create(int32_t maxConnections) {
  try {
    directory_.Create();
    const int32_t sessionsStart = sessions_.Create(maxConnections);
    tables_.Create();
    directory_.AddEntry(TABSSystemDirectory::kSessionsFile, sessionsStart);
    directory_.AddEntry(TABSSystemDirectory::kTableListFile, tables_.StartPageNo());
    directory_.Save();
    manager_.Commit(kSystemSession);
  } catch (...) {
    manager_.Rollback(kSystemSession);
    Close();
    throw;
  }
}

void TABSDiskCatalog::Open() {
  Close();
  directory_.Load();
  sessions_.Open(directory_.Find(TABSSystemDirectory::kSessionsFile));
  tables_.Open(directory_.Find(TABSSystemDirectory::kTableListFile));
  tables_.Load();
}

void TABSDiskCatalog::Close() {
  directory_.File().Close();
  sessions_.Close();
  tables_.Close();
}

}  // namespace viz
