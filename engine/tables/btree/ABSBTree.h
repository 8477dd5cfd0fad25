// The engine's B-tree indexes: the public face of engine/tables/btree.
//
//   TABSBTreeRecordIndex      every index of a table (key, then record address, in key order)
//   TABSBTreeRecordPageIndex  record pages of a disk table with their record counts
//   TABSBTreeBlobPageIndex    BLOB pages of a disk table with their used bytes
//   TABSBTreeChecker          the invariant checker, for tests and the file checker
//   TABSKeyPath               one entry of a tree, named level by level from the root
//
// All of them keep their pages in a page manager (VIZPage.h): every call names the session whose
// view of the pages it works on, and changes stay private to that session until it commits.
// REQUIRES: callers hold the database lock of the table the index belongs to.
#pragma once

#include "engine/tables/btree/btree.h"
#include "engine/tables/btree/btree_checker.h"
#include "engine/tables/btree/btree_key.h"
#include "engine/tables/btree/btree_page.h"
#include "engine/tables/btree/key_path.h"
#include "engine/tables/btree/page_index.h"
#include "engine/tables/btree/record_index.h"
