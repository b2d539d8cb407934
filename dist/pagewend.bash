# bash completion for pagewend(1)

_pagewend() {
  local cur prev words cword
  _init_completion || return

  local commands="extract export info pack settings book-xml locate swf"
  local command="" i
  for ((i = 1; i < cword; i++)); do
    case "${words[i]}" in
      -*) ;;
      *)
        command=${words[i]}
        break
        ;;
    esac
  done

  if [[ -z $command ]]; then
    if [[ $cur == -* ]]; then
      mapfile -t COMPREPLY < <(compgen -W "--help --version" -- "$cur")
    else
      mapfile -t COMPREPLY < <(compgen -W "$commands help" -- "$cur")
    fi
    return
  fi
  if [[ $command == help ]]; then
    mapfile -t COMPREPLY < <(compgen -W "$commands" -- "$cur")
    return
  fi

  # The value an option takes.
  case "$command:$prev" in
    extract:-o | extract:--output)
      _filedir -d
      return
      ;;
    export:-o | export:--output | pack:-o | pack:--output | pack:--player)
      _filedir
      return
      ;;
    extract:--jobs | export:--jobs)
      mapfile -t COMPREPLY < <(compgen -W "1 2 4 8 16" -- "$cur")
      return
      ;;
    *:--decimal-separator)
      mapfile -t COMPREPLY < <(compgen -W ". ," -- "$cur")
      return
      ;;
  esac

  local options
  case "$command" in
    extract) options="--help --output --events --jobs --force --keep-documents" ;;
    export) options="--help --html --pdf --output --jobs --force" ;;
    info | locate | swf) options="--help --json" ;;
    pack) options="--help --output --player" ;;
    settings) options="--help --json --decimal-separator" ;;
    book-xml) options="--help --decimal-separator" ;;
    *) return ;;
  esac

  if [[ $cur == -* ]]; then
    mapfile -t COMPREPLY < <(compgen -W "$options" -- "$cur")
  elif [[ $command == pack ]]; then
    _filedir -d
  else
    _filedir
  fi
}
complete -F _pagewend pagewend
