#include "shell/window/UnsavedEdits.h"

#include "shell/window/Dialogs.h"
#include "shell/window/WindowSeam.h"
#include "views/PageViews.h"

bool TUnsavedEdits::MayDiscard(TPageViews& pages, TWindowSeam& seam) {
  pages.CommitEdits();
  Note(pages.PageJobCode(), pages.Modified);
  return !Any() ||
         seam.Dialogs().Ask(seam.Window(), "Несохраненные изменения",
                            "Изменения не записаны в прибор и не сохранены в файл. Отбросить их?");
}
