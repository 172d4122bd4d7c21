// What an extraction does with its target directory.
#pragma once

enum class TTargetFolder {
    MustExist,          // a missing one fails the extraction
    CreateWithParents,  // created with its parents once the archive's header and directory have read
};
