// The engine's programming interface: what a program includes to work with a database.
//
//   TABSSession        a named scope of connections; the default one is "Default"
//   TABSDatabase       one connection to one database file, addressed by its alias
//   TABSTable          the dataset of one table, on the framework's dataset
//   TABSLocalCursor    the engine cursor under a dataset
//   TABSBLOBStream     a stream on a memo, wide memo or BLOB field (TABSDataSet::CreateBlobStream)
//   TABSLocalSession   the engine-side session object of a connection
//   EABSEngineError    a record operation refused (a lock, a conflict, a violated constraint)
//   EABSException      every other engine failure, with its native error number
//   TABSDialogs        the password and wait dialogs and the repair questions, installed by a UI
//
// A first program:
//
//   TABSDatabase database;
//   database.SetDatabaseName("Lyrics");
//   database.SetDatabaseFileName("lyrics.svl");
//   database.SetPassword("secret");
//   database.SetCipherType(1);
//   database.MakeDatabaseFile();                 // a new file
//   database.Open();
//   TABSTable table;
//   table.SetDatabaseName("Lyrics");
//   table.SetTableName("LYRIC");
//   table.Open();
//   table.Insert(); table.FieldByName("FileName").SetAsString("a.mp3"); table.Post();
//
// examples/ holds complete programs.
#pragma once

#include "engine/components/blob_stream.h"
#include "engine/components/component_owner.h"
#include "engine/components/database.h"
#include "engine/components/dataset.h"
#include "engine/components/dialogs.h"
#include "engine/components/engine_error.h"
#include "engine/components/engine_manager.h"
#include "engine/components/expression_tables.h"
#include "engine/components/local_cursor.h"
#include "engine/components/local_session.h"
#include "engine/components/session.h"
#include "engine/components/table.h"
#include "engine/components/table_copy.h"
#include "engine/types/errors.h"
#include "engine/types/framework_field_copy.h"
