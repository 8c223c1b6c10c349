;;; ostrel-eglot.el --- Ostrel's language server in Emacs through eglot  -*- lexical-binding: t; -*-

;; Diagnostics as you type (through Flymake), key completion, hover (eldoc)
;; and quick fixes (M-x eglot-code-actions) for Info.plist, *.plist and
;; *.xcprivacy files. Load this file from your init file:
;;   (load "/path/to/ostrel-eglot.el")
;; and run M-x eglot in such a buffer, or let the hook below start it.

(require 'eglot)

(define-derived-mode ostrel-plist-mode nxml-mode "Plist"
  "nXML mode for property lists checked by Ostrel.")

(add-to-list 'auto-mode-alist '("\\.\\(plist\\|xcprivacy\\)\\'" . ostrel-plist-mode))
(add-to-list 'eglot-server-programs '(ostrel-plist-mode . ("ostrel-check" "--lsp")))
(add-hook 'ostrel-plist-mode-hook #'eglot-ensure)

(provide 'ostrel-eglot)
;;; ostrel-eglot.el ends here
