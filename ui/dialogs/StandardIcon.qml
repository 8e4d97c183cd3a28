import QtQml 2.11

// The icons of MessageDialog.icon, valued as the framework's own.
QtObject {
    enum Icon {
        NoIcon = 0,
        Information = 1,
        Warning = 2,
        Critical = 3,
        Question = 4
    }
}
