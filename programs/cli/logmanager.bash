# bash completion for logmanager: commands, options, and log files of the folder given.
_logmanager() {
  local cur prev words cword
  _init_completion 2>/dev/null || {
    cur=${COMP_WORDS[COMP_CWORD]}
    prev=${COMP_WORDS[COMP_CWORD - 1]}
    words=("${COMP_WORDS[@]}")
    cword=$COMP_CWORD
  }
  local commands="files header actions show history undo redo prune help"
  local command="" dir="" i
  local -a args=()
  for ((i = 1; i < cword; i++)); do
    case ${words[i]} in
      --table | --kind | --since | --until | --id | --before | --older-than) ((i++)) ;;
      -*) ;;
      *) if [[ -z $command ]]; then command=${words[i]}; else args+=("${words[i]}"); fi ;;
    esac
  done
  case $prev in
    --kind)
      COMPREPLY=($(compgen -W "UPDATE NEWRECORD DELETE_inDB DELETE_OFFLINE" -- "$cur"))
      return ;;
    --table | --since | --until | --id | --before | --older-than) return ;;
  esac
  local options="--json --help"
  case $command in
    actions) options+=" --table --kind --since --until" ;;
    history) options+=" --table --id --kind --since --until" ;;
    undo | redo) options+=" --dry-run --all --yes --no --force" ;;
    prune) options+=" --before --older-than --dry-run --yes --no" ;;
    "") options+=" --version" ;;
  esac
  if [[ $cur == -* ]]; then
    COMPREPLY=($(compgen -W "$options" -- "$cur"))
  elif [[ -z $command ]]; then
    COMPREPLY=($(compgen -W "$commands" -- "$cur"))
  elif [[ $command == help ]]; then
    COMPREPLY=($(compgen -W "$commands" -- "$cur"))
  elif ((${#args[@]} == 0)); then
    COMPREPLY=($(compgen -d -- "$cur"))
  elif ((${#args[@]} == 1)) && [[ $command != files && $command != history && $command != prune ]]; then
    dir=${args[0]}
    COMPREPLY=($(cd "$dir" 2>/dev/null && compgen -f -X '!*.xml' -- "$cur"))
  fi
}
complete -F _logmanager logmanager
