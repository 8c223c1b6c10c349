-- Ostrel's language server in Neovim: diagnostics as you type, key completion,
-- hover and quick fixes for Info.plist, *.plist, *.xcprivacy and InfoPlist.strings.
-- Copy this file to ~/.config/nvim/lua/ostrel.lua, then in init.lua:
--   require('ostrel').setup()                                   -- ostrel-check on PATH
--   require('ostrel').setup({ cmd = { '/opt/ostrel/bin/ostrel-check', '--lsp' } })
-- Neovim 0.8 and later start it with vim.lsp.start; 0.7 with vim.lsp.start_client.
local M = {}

M.patterns = { '*.plist', '*.xcprivacy', 'InfoPlist.strings' }

-- Attaches the server to the buffer; returns the client's id.
function M.start(bufnr, opts)
  opts = opts or {}
  local name = vim.api.nvim_buf_get_name(bufnr)
  local config = {
    name = 'ostrel',
    cmd = opts.cmd or { 'ostrel-check', '--lsp' },
    root_dir = vim.fn.fnamemodify(name, ':p:h'),
  }
  if vim.lsp.start then
    return vim.lsp.start(config, { bufnr = bufnr })
  end
  -- 0.7: one client for every buffer, started on the first.
  if not M.client or vim.lsp.client_is_stopped(M.client) then
    M.client = vim.lsp.start_client(config)
  end
  vim.lsp.buf_attach_client(bufnr, M.client)
  return M.client
end

function M.setup(opts)
  vim.api.nvim_create_autocmd({ 'BufReadPost', 'BufNewFile' }, {
    pattern = M.patterns,
    callback = function(args)
      M.start(args.buf, opts)
    end,
  })
end

return M
