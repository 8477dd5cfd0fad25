// The memory and temporary backends: the public face of engine/storage/memory.
//
//   TABSMemoryDatabaseData     the database "MEMORY": in-memory tables, fully editable, gone with
//                              the process
//   TABSTemporaryDatabaseData  the database "TEMP": append-only work tables that spill to temporary
//                              files past their memory limits, unless temporary files are disabled
//   TABSMemoryTableData,       their tables (both TABSTableData, VIZBaseEngine.h), with the record
//   TABSTemporaryTableData     managers TABSMemoryRecordManager and TABSTemporaryRecordManager
//   TABSMemoryPageManager      page store in memory (indexes of in-memory tables)
//   TABSTemporaryPageManager   page store in memory and a temporary file (indexes of temporary
//                              tables, index work of disk tables)
//
// Neither backend has transactions: a change is in the table when its call returns; the commit and
// rollback of a session only release the page objects it used. Pages have no header and are never
// enciphered. Tables are made and reached through the database objects like those of any backend:
//
//   TABSMemoryDatabaseData memory;
//   memory.ConnectSession(&session);                           // session number 0
//   TABSTableData* table = memory.FindOrCreateTableData(&cursor);
//   table->CreateTable(&cursor, fields, indexes, constraints);
//   cursor.Navigation().RecordBuffer = record;                 // the record to insert
//   table->InsertRecord(&cursor);
//   ...
//   table->DeleteTable(&session, false);                       // frees the table and its memory
//
// REQUIRES: callers hold no page objects of a table across calls; the database lock guards
// everything else, as for every backend.
#pragma once

#include "engine/storage/memory/memory_database_data.h"
#include "engine/storage/memory/memory_page_manager.h"
#include "engine/storage/memory/memory_record_manager.h"
#include "engine/storage/memory/memory_table_data.h"
#include "engine/storage/memory/temporary_page_manager.h"
#include "engine/storage/memory/temporary_record_manager.h"
#include "engine/storage/memory/temporary_table_data.h"
