#!/usr/bin/env bash
# A real editor: Neovim, headless, opens the example with mistakes through
# contrib/ostrel.lua, and the diagnostics it holds are the command line's
# findings (line and ID); the quick fix of the misspelt key, applied, renames it.
set -u
source "$(dirname "$0")/common.bash"
command -v nvim >/dev/null || { echo "nvim is not installed: skipped"; exit 77; }
SRC="$(cd "$EX/.." && pwd)"
PLIST="$EX/Mistakes.app/Contents/Info.plist"

cat >"$W/test.lua" <<LUA
local ostrel = dofile('$SRC/contrib/ostrel.lua')
ostrel.setup({ cmd = { '$OSTREL_CHECK', '--lsp' } })
vim.cmd('edit $PLIST')
vim.wait(15000, function() return #vim.diagnostic.get(0) > 0 end, 50)
local lines = {}
for _, d in ipairs(vim.diagnostic.get(0)) do
  table.insert(lines, string.format('%d %s', d.lnum + 1, d.code))
  if d.code == 'KeyTypo' then
    local params = vim.lsp.util.make_range_params()
    params.range = d.user_data.lsp.range
    params.context = { diagnostics = { d.user_data.lsp } }
    local answers = vim.lsp.buf_request_sync(0, 'textDocument/codeAction', params, 5000)
    for _, answer in pairs(answers or {}) do
      for _, action in ipairs(answer.result or {}) do
        if action.isPreferred then
          vim.lsp.util.apply_workspace_edit(action.edit, 'utf-16')
        end
      end
    end
  end
end
table.sort(lines)
vim.fn.writefile(lines, '$W/nvim')
vim.cmd('silent write! $W/fixed.plist')
vim.cmd('qall!')
LUA
HOME="$W" timeout 60 nvim --headless -n -u NONE -i NONE -c "luafile $W/test.lua" >"$W/out" 2>"$W/err" </dev/null
# The CLI's findings of that file with a line; those without point at line 1.
"$OSTREL_CHECK" --format json "$EX/Mistakes.app" |
  python3 -c '
import json, sys
read = sys.argv[1]
for line in sys.stdin:
    f = json.loads(line)
    if f["read"] == read:
        print(f.get("line", 1), f["id"])' "$PLIST" | sort >"$W/cli"
[ -s "$W/cli" ] && diff -u "$W/cli" "$W/nvim" >"$W/out" 2>&1 || bad "Neovim's diagnostics differ from the command line's findings"
sed 's/NSPrincipleClass/NSPrincipalClass/' "$PLIST" >"$W/expected.plist"
diff -u "$W/expected.plist" "$W/fixed.plist" >"$W/out" 2>&1 || bad "the quick fix of KeyTypo did not give the renamed key"
echo "$(wc -l <"$W/nvim") diagnostics in Neovim"
finish lsp_neovim
