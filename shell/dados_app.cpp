#include "shell/dados_app.h"

namespace pq::shell {

TDadosApp DadosApp;

}  // namespace pq::shell
