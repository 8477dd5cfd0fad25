// The disk backend of the engine: databases kept in one file of pages, their tables, records and
// BLOB values. The public face of engine/storage/disk.
//
//   TABSDiskDatabaseData    one open database file, shared by the sessions of the process
//   TABSDiskTableData       one table of it: its internal files, record operations, BLOB slots
//   TABSDiskRecordManager   stored records in fixed-size slots of record pages
//   TABSSmallRecordPage     one record page
//   TABSDiskBlobManager     stored BLOB values, the BLOB page index and the BLOB cache
//   TABSSmallBlobPage       one page of small BLOB values
//
// A program reaches a disk table through a session connected to its database and a cursor of that
// session:
//
//   TABSConnectionSettings settings;
//   settings.DatabaseFileName = "lyrics.svl";
//   TABSDiskDatabaseData database(settings);
//   database.CreateDatabase();                       // only for a new file
//   TABSBaseSession session;                         // its Connection() as settings above
//   database.ConnectSession(&session);
//   TABSDiskTableData& table = database.Table("LYRIC");
//   table.CreateTable(&cursor, fields, indexes, constraints);
//   table.OpenTable(&cursor);                        // cursor: table name, session, record buffer
//   table.PrepareForInsert(&cursor);  ... fill the record buffer ...  table.InsertRecord(&cursor);
//   table.CloseTable(&cursor);
//   database.DisconnectSession(&session);
//
// Every operation raises an EABSException on failure and leaves the file as it was. A damaged file
// never crashes the engine: what cannot be read raises an error that names the table and the page.
#pragma once

#include "engine/storage/disk/disk_blob_manager.h"
#include "engine/storage/disk/disk_database_data.h"
#include "engine/storage/disk/disk_record_manager.h"
#include "engine/storage/disk/disk_table_data.h"
#include "engine/storage/disk/small_blob_page.h"
#include "engine/storage/disk/small_record_page.h"
