// vizdb_ui: the Qt 6 Widgets face of the engine and its dataset framework.
//
//   TDataSource source;                      // framework/data/data_source.h
//   source.SetDataSet(&table);               // a TABSTable, or any TDataSet
//   viz::ui::TDBGrid grid;        grid.SetDataSource(&source);
//   viz::ui::TDBNavigator nav;    nav.SetDataSource(&source);
//   viz::ui::TDBEdit name;        name.SetDataSource(&source);  name.SetDataField("FileName");
//   viz::ui::TDBMemo lyric;       lyric.SetDataSource(&source); lyric.SetDataField("TheLyric");
//   viz::ui::InstallQtPrompts();             // password and wait dialogs, repair questions
#pragma once

#include "framework/ui/db_edit.h"
#include "framework/ui/db_grid.h"
#include "framework/ui/db_navigator.h"
#include "framework/ui/dialogs.h"
#include "framework/ui/field_text.h"
#include "framework/ui/user_messages.h"
