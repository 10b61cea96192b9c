#include "store/catalog.h"

#include <map>

#include "base/cp850.h"

namespace kdx2::store {

using namespace base::literals;
using base::Type;

namespace {

// A small builder so each layout reads like its table in the data model.
class Fields {
  public:
    Fields& c(const std::string& name, int width) { return add(name, Type::Character, width, 0); }
    Fields& n(const std::string& name, int width, int decimals = 0) {
        return add(name, Type::Numeric, width, decimals);
    }
    Fields& d(const std::string& name) { return add(name, Type::Date, 8, 0); }
    Fields& l(const std::string& name) { return add(name, Type::Logical, 1, 0); }
    // name + two-digit suffix for first ... last ("I3_" 1 14 "T" gives I3_01T ... I3_14T).
    Fields& nSeries(const std::string& prefix, int first, int last, const std::string& suffix,
                    int width, int decimals) {
        for (int i = first; i <= last; ++i)
            n(prefix + twoDigits(i) + suffix, width, decimals);
        return *this;
    }
    Structure done() { return std::move(fields_); }

    static std::string twoDigits(int i) { return (i < 10 ? "0" : "") + std::to_string(i); }

  private:
    Fields& add(const std::string& name, Type type, int width, int decimals) {
        fields_.push_back(FieldDef{name, type, width, decimals});
        return *this;
    }
    Structure fields_;
};

Structure irm1() {
    Fields f;
    f.c("CPF", 11).l("CAL_AUTO").l("SO_TOTAL").c("I12_1", 11).c("I12_2", 40).d("I12_3");
    for (const char* name : {"EMPRUR", "AMORUR", "OUTDES", "OUTREC", "VALOR_FUT", "PREJVEN",
                             "PREJVEN1", "PREJRUR", "PREJRVA", "LUCRRVA"})
        f.n(name, 12, 2);
    f.n("DESPNAO", 13, 2).n("EMPREST", 12, 2).n("DESPDECLA", 12, 2).n("INDALERTA", 2);
    for (const char* name : {"IMPOANTER", "CPMF", "CUSTOANT", "CUSTOANO", "ENTRADGP", "ISENTNAO"})
        f.n(name, 12, 2);
    f.n("TIPO_LANCA", 1).c("NOME_CONT", 50).c("CPFCNPJ_CO", 18).c("CRC_CONT", 15);
    f.c("EMAIL_CONT", 80).c("FONE_CONT", 11);
    f.nSeries("I3_", 1, 14, "T", 13, 2).c("I3_12D", 40);
    f.nSeries("I4_", 1, 7, "T", 13, 2).c("I4_05D", 40);
    return f.done();
}

Structure irm2() {
    Fields f;
    f.c("CPF", 11).c("I1_1", 1).c("I1_2", 44).c("I1_3", 18);
    for (const char* name : {"I1_4", "I1_5", "I1_6", "I1_7"})
        f.n(name, 14, 2);
    f.c("I1_8", 11);
    for (const char* name : {"I1_9", "I1_10", "I1_11"})
        f.n(name, 12, 2);
    f.c("TIPOCR", 1).d("DT_LC").c("CDCONTA", 4).n("NROIMO", 2).c("CPFBENF", 11).c("I1_41", 1);
    f.n("TIPODOC", 1).n("COD_CONTA", 3).c("NUM_DOC", 20);
    for (int month = 1; month <= 13; ++month)
        for (const char* prefix : {"I1_4", "I1_5", "I1_6", "I1_7", "I1_9", "I1_10", "I1_11"})
            f.n(prefix + Fields::twoDigits(month), 14, 2);
    return f.done();
}

Structure irm3() {
    return Fields()
        .c("CPF", 11)
        .c("NOMEDEPEN", 41)
        .n("CODIDEPEN", 3)
        .d("DATADEPEN")
        .c("CPFDEPEN", 11)
        .n("NRODEPEN", 2)
        .done();
}

Structure irm4() {
    return Fields()
        .c("CPF", 11)
        .n("I7_0", 4)
        .n("I7_1", 3)
        .c("I7_2", 512)
        .n("I7_3", 14, 2)
        .n("I7_4", 14, 2)
        .n("I7_5", 3)
        .c("I7_6", 1)
        .c("I7_7", 1)
        .c("I7_8", 3)
        .done();
}

Structure irm5() {
    return Fields()
        .c("CPF", 11)
        .n("I8_0", 4)
        .n("I8_1", 3)
        .c("I8_2", 250)
        .n("I8_3", 14, 2)
        .n("I8_4", 14, 2)
        .n("I8_5", 3)
        .c("I8_6", 1)
        .done();
}

Structure irm6() {
    Fields f;
    f.c("CPF", 11).c("I6_1", 50).c("I6_2", 18).n("I6_3", 2).n("I6_4", 12, 2).n("I6_5", 12, 2);
    f.n("I6_6", 2).c("I6_7", 11);
    for (int month = 1; month <= 13; ++month)
        f.n("I6_4" + Fields::twoDigits(month), 14, 2).n("I6_5" + Fields::twoDigits(month), 14, 2);
    return f.done();
}

Structure irm7() {
    Fields f;
    f.c("CPF", 11).n("BEM_NRO", 2).n("RVAR_NRO", 2).c("DAY_TRADE", 1).n("TIPO_BEM", 1);
    f.n("NRO_ITEM", 3).c("CPF_DEPE", 11).c("CPFADQ", 18).c("MAISDE1", 1).c("CPFNOME", 250);
    f.n("PER_TRI", 10, 6).c("NOME_ADQ", 53).c("ESPC_BEM1", 152).c("RUAIMO", 11);
    f.c("ENDEIMO", 30).c("NUMIMO", 6).c("COMPIMO", 15).c("BAIRIMO", 15).c("CEPIMO", 8);
    f.c("MUNICIMO", 17).c("UFIMO", 2).d("DATA_ALI").d("DATA_ADQ").c("NOME_SOCIE", 32);
    f.c("CGC_SOCIE", 14).c("CID_SOCIE", 17).c("EST_SOCIE", 2).n("IND_ALI", 11, 2);
    f.n("VAL_ALI", 13, 2).n("CUS_ATUAL", 13, 2);
    for (const char* name : {"VAL_CORR", "VAL_RECOL", "VAL_TRIBU", "VAL_NAOTRI", "VAL_IMPOSV",
                             "VAL_IMPOSP", "IMPPAGO"})
        f.n(name, 12, 2);
    f.c("VEN_PRAZO", 1).c("PEQ_VALOR", 1).c("USU_440", 1).c("NATUOPER", 20).c("PARCOMPRA", 1);
    f.c("VENDAANT", 1).c("USA_ART31", 1).n("VAL_PARTE", 12, 2).n("PERART31", 6, 2);
    f.n("TIPOPART", 1).n("FR1", 18, 8).n("FR2", 18, 8);
    for (const char* name : {"REDUCAO", "FATOR1", "FATOR2", "GAN_TRIV", "GAN_TRIP", "VAL_ANTE",
                             "VAL_DIFE", "IMP_ANTE", "IMP_DIFE"})
        f.n(name, 12, 2);
    f.c("FOIDIFE", 1);
    for (int month = 1; month <= 12; ++month) {
        const std::string nn = Fields::twoDigits(month);
        f.n("REC_MES" + nn, 15, 2).n("VAL_TRI" + nn, 15, 2).n("IMP_DEV" + nn, 15, 2);
        f.n("PREJU" + nn, 15, 2).n("IMP_PAG" + nn, 12, 2).n("IMP_LEI" + nn, 12, 2);
    }
    return f.done();
}

Structure irm8() {
    Fields f;
    f.c("CPF", 11).n("BEM_NRO", 2).n("RVAR_NRO", 2).c("DAY_TRADE", 1).n("VALOR_REDU", 12, 2);
    f.n("VALOR_CUST", 15, 2).d("DATA_CUST").n("IND_CUST", 10, 4).n("PER_RED", 3);
    f.n("PER_RED1", 11, 8).n("PER_RED2", 11, 8).n("PER_CUST", 12, 6).n("RESUL_2", 12, 2);
    f.n("RESUL_3", 12, 2).n("SALDO_COEF", 14, 4).n("CM_PONDER", 11, 4).n("SALDO_ACAO", 9);
    f.n("MOV_ACAO", 9).n("CUST_UNI", 12, 2).n("CMED_COEF", 18, 4).n("TIPO_OPER", 1);
    f.n("TIPO_ACAO", 1).c("LOTE", 17);
    return f.done();
}

Structure irm9() {
    Fields f;
    f.c("CPF", 11).c("NOMECONTR", 53).c("TIPOEND", 11).c("ENDERECO", 37).c("NUMERO", 6);
    f.c("COMPLEM", 21).c("BAIRRO", 20).c("CEP", 8).c("CODMUNI", 4).c("MUNICIPIO", 24);
    f.c("UF", 2).c("CODEMB", 3).c("DDDTEL", 2).c("TELEFO", 9).c("DDDFAX", 2).c("NROFAX", 9);
    f.c("EMAIL", 40).d("NASCIMENTO").c("TITULO", 13).c("CGCPAGADOR", 18).c("OCUPACAO", 46);
    f.c("CDPRO", 3).c("CODAT", 2).c("REGPROF", 20).c("DESCRAT", 58).c("RECIBOATU", 12);
    f.c("RECIBOANT", 12).n("CODACESSO", 12).c("SENACESSO", 15).c("TEMRURAL", 1);
    f.c("CPFCONJU", 11).c("DESPINST", 1).n("DESPALIM", 1).c("NOVOEND", 1).n("TEM_USO", 6);
    f.n("TAM_USO", 6).c("IMPRE", 1).n("ESTATUS", 1).n("ORDEM", 2).n("I9C_2", 12, 2);
    f.n("I9C_3", 12, 2).c("BUSCA", 1).c("DIRCONJU", 40).c("BANCO", 3).c("AGENCIA", 6);
    f.c("CONTACO", 15).c("TELCELU", 9).c("TELESCR", 9).c("TELSECR", 9).c("NIT_TIT", 11);
    f.c("NOVO", 1);
    return f.done();
}

Structure irm10() {
    Fields f;
    f.c("CPF", 11).nSeries("I4_", 1, 7, "", 14, 2);
    f.n("I5_08", 14, 2).n("I5_09", 14, 2).n("I5_10", 14, 2).n("I6_10", 14, 2).c("OPTA", 1);
    for (int month = 1; month <= 12; ++month) {
        const std::string nn = Fields::twoDigits(month);
        f.n("I3_" + nn + "OR", 14, 2).n("I3_" + nn + "OD", 14, 2);
    }
    for (int n = 1; n <= 5; ++n)
        for (const char* suffix : {"A", "B", "C", "S", "V1", "V2"})
            f.n("I7_" + std::to_string(n) + suffix, 6);
    f.c("I7_V1", 22).c("I7_V2", 22);
    return f.done();
}

Structure irm11() {
    return Fields()
        .c("CPF", 11)
        .c("CODDESP", 4)
        .c("DESCDESP", 25)
        .n("VALODESP", 13, 2)
        .n("NROITEM", 3)
        .done();
}

Structure irm12() {
    return Fields()
        .c("CPF", 11)
        .c("ATV_EXTER", 1)
        .n("ITEM", 3)
        .n("CODIGO", 3)
        .n("I8_0", 4)
        .c("I8_1", 512)
        .n("I8_2", 12, 2)
        .c("I8_3", 3)
        .done();
}

Structure irm13() {
    return Fields()
        .c("CPF", 11)
        .c("ATV_EXTER", 1)
        .n("I9_0", 4)
        .n("ITEM", 3)
        .c("I9_1", 250)
        .n("I9_2", 12, 2)
        .n("I9_3", 12, 2)
        .n("I9_4", 12, 2)
        .n("I9_5", 12, 2)
        .done();
}

Structure irm14() {
    return Fields()
        .c("CPF", 11)
        .c("CDCONTA", 4)
        .c("DESCONTA", 60)
        .n("VALODESP", 13, 2)
        .n("NROITEM", 3)
        .c("NROCGCCPF", 18)
        .l("LANCADO")
        .d("DATALAN")
        .n("MESLAN", 2)
        .n("TIPODOC", 1)
        .n("COD_CONTA", 3)
        .c("NUM_DOC", 20)
        .n("NROIMO", 2)
        .done();
}

Structure irm15() {
    Fields f;
    f.c("CPF", 11).c("ATV_EXTER", 1).n("I2_00", 3).c("I2_01", 60).n("I2_02", 9, 2);
    f.c("I2_03", 8).n("I2_04", 6, 2).n("I2_05", 1).c("I2_06", 55).n("I2_07", 2);
    f.c("CAEPF", 14).c("INSCR_ES", 14).c("NUM_IMR", 6).c("COMP_IMR", 50).c("DISTR_IMR", 30);
    f.c("UF_IMR", 2).c("CODM_IMR", 7).n("CEP_IMR", 8).n("TIPO_CONTR", 1).c("CPF_CONTR", 11);
    f.c("NOME_CONTR", 50).n("PERC_CONTR", 5, 2);
    return f.done();
}

Structure irm16() {
    Fields f;
    f.c("CPF", 11).n("MES", 2);
    for (int i = 1; i <= 6; ++i)
        f.n("I2_" + std::to_string(i), 12, 2);
    f.nSeries("I3_", 1, 14, "", 13, 2).nSeries("I4_", 1, 7, "", 13, 2);
    return f.done();
}

Structure irm17() {
    return Fields()
        .c("CPF", 11)
        .c("ATV_BRASIL", 1)
        .n("COD_CONTA", 3)
        .c("NRO_BANCO", 3)
        .c("NOM_BANCO", 30)
        .n("NRO_AGENC", 4)
        .n("NRO_CONTA", 16)
        .c("PAIS_CTA", 3)
        .done();
}

Structure cpfdarf() {
    return Fields()
        .c("QUALCPF", 18)
        .c("NOMECONTR", 40)
        .c("ENDERECO", 37)
        .c("NUMERO", 6)
        .c("BAIRRO", 20)
        .c("CEP", 8)
        .c("MUNICIPIO", 24)
        .c("UF", 2)
        .c("TELEFO", 8)
        .done();
}

Structure prints() {
    return Fields()
        .c("CONFIM", 1)
        .c("NOMEIMP", 15)
        .c("SEQ0", 60)
        .c("SEQ1", 60)
        .c("SEQ2", 60)
        .c("SEQ3", 60)
        .done();
}

Structure diret() {
    return Fields().c("SELEC", 1).c("DIRETOR", 40).done();
}

Structure config() {
    Fields f;
    f.c("NRO_TERM", 2).c("ROTAANTER", 40).c("ROTADOANO", 40).c("ROTARECEI", 80);
    f.c("DIRTRAB", 40).c("DIRPROV", 40).n("QUEIMP", 1).n("QUEMOD", 1).n("QUEPAG", 2);
    f.n("QUECON", 1).n("PONTO", 1).n("QMEDIA", 2).n("QRENDA", 2).n("QMOEDA", 2).n("QPARTE", 2);
    f.n("QMES", 2).n("QUEANO", 4).n("COMO_SAL", 1).n("TEMP_SAL", 2).c("QUALMENS", 1);
    f.l("QUERSEN").n("ULT_TER", 1).n("ULT_MOD", 1).c("ULT_CPF", 11).c("MOSIMP", 1);
    f.c("MOSTEL", 1);
    for (int i = 1; i <= 9; ++i)
        f.c("STAT_" + std::to_string(i), 13);
    return f.done();
}

Structure cores() {
    Fields f;
    f.c("NRO_TERM", 2);
    for (const char* name : {"COR_TEL1", "COR_TEL2", "COR_TEL3", "COR_MENS", "COR_PEGA", "COR_HELP",
                             "COR_FERID", "COR_ESCOL", "COR_ENCHE"})
        f.n(name, 3);
    for (const char* name : {"COR_1_CLI", "COR_2_CLI", "COR_INI", "COR_SAY", "COR_GET",
                             "COR_CLI_HE", "COR_ESC_CL", "COR_ENCH_C"})
        f.c(name, 10);
    return f.done();
}

Structure listaImp() {
    return Fields()
        .c("NRO_TERM", 2)
        .c("NOMEIMP", 60)
        .c("IPADRAO", 60)
        .c("SEQ0", 2)
        .c("SEQ1", 2)
        .done();
}

Structure contas() {
    return Fields()
        .c("CDCONTA", 4)
        .c("NMDESCRICA", 80)
        .c("CDSTATUS", 1)
        .n("PAGINA", 2)
        .n("LINHA", 2)
        .c("TEMCPF", 1)
        .c("TEMCGC", 1)
        .c("LIVROCX", 1)
        .c("TEMDESCR", 1)
        .n("TOTVALOR", 14, 2)
        .c("TIPOCR", 1)
        .done();
}

Structure relnome() {
    return Fields()
        .c("CPF", 11)
        .c("NOMECONTR", 40)
        .c("NOMEARQ", 80)
        .c("TIPO", 12)
        .c("ORIGEM", 12)
        .c("IMPRE", 1)
        .n("ORDEM", 1)
        .done();
}

const std::map<int, CatalogTable>& specs() {
    static const std::map<int, CatalogTable> all = [] {
        std::map<int, CatalogTable> m;
        for (int n = 1; n <= 17; ++n) {
            CatalogTable layout{n, "IRM" + std::to_string(n), true, false, {}};
            layout.indexes = {{"IRM" + std::to_string(n), "CPF"}};
            if (n == 9) layout.indexes.push_back({"IRM9B", "upper(NOMECONTR)"});
            m[n] = layout;
        }
        auto install = [&m](int n, const std::string& file, std::vector<CatalogIndex> indexes,
                            bool exclusive = false) {
            m[n] = CatalogTable{n, file, false, exclusive, std::move(indexes)};
        };
        install(42, "CODEPEN", {{"CODEPEN", "CODDEP"}});
        install(44, "OCUPACAO", {{"OCUPACAO", "CDPRO"}});
        install(45, "UFIRM", {{"UFIRM", "ANOMES"}});
        install(46, "CODARF", {{"CODARF", "CODIGO"}, {"CODARFB", "ESPECIFICA"}});
        install(47, "DESPESA", {{"DESPESA", "CODDES"}});
        install(48, "CPFDARF", {{"CPFDARF", "QUALCPF"}, {"CPFDARFB", "upper(nomecontr)"}});
        install(49, "PRINTS", {});
        install(50, "DIRET", {{"DIRET", "upper(DIRETOR)"}});
        install(52, "CONFIG", {{"CONFIG", "NRO_TERM"}});
        install(53, "CODNATUR", {{"CODNATUR", "CODAT"}});
        install(54, "TABPAIS", {{"TABPAIS", "CODPAIS"}});
        install(55, "TABEMBA", {{"TABEMBA", "CD_EX"}});
        install(56, "CORES", {{"CORES", "NRO_TERM"}});
        install(57, "ListaIMP", {{"ListaIMP", "NRO_TERM"}});
        install(58, "CONTAS", {{"CONTAS", "CDCONTA"}});
        install(59, "RELNOME", {{"RELNOME", "NOMECONTR"}, {"RELNOMEB", "CPF"}}, true);
        install(60, "TABMUNI", {});
        install(61, "TABLOGR", {{"TABLOGR", "upper(nomelogra)"}});
        install(69, "BANCOS", {{"BANCOS", "NUMBAN"}, {"BANCOSB", "upper(NOMEBAN)"}});
        return m;
    }();
    return all;
}

}  // namespace

const CatalogTable* catalogTable(int number) {
    const auto found = specs().find(number);
    return found == specs().end() ? nullptr : &found->second;
}

std::optional<Structure> tableLayout(int number) {
    if (number >= 21 && number <= 37) number -= 20;
    switch (number) {
        case 1:
            return irm1();
        case 2:
            return irm2();
        case 3:
            return irm3();
        case 4:
            return irm4();
        case 5:
            return irm5();
        case 6:
            return irm6();
        case 7:
            return irm7();
        case 8:
            return irm8();
        case 9:
            return irm9();
        case 10:
            return irm10();
        case 11:
            return irm11();
        case 12:
            return irm12();
        case 13:
            return irm13();
        case 14:
            return irm14();
        case 15:
            return irm15();
        case 16:
            return irm16();
        case 17:
            return irm17();
        case 48:
            return cpfdarf();
        case 49:
            return prints();
        case 50:
            return diret();
        case 52:
            return config();
        case 56:
            return cores();
        case 57:
            return listaImp();
        case 58:
            return contas();
        case 59:
            return relnome();
        default:
            return std::nullopt;
    }
}

std::string creationMessage(int number) {
    if (number >= 21 && number <= 37) number -= 20;
    switch (number) {
        case 1:
            return "Criando banco dos Contribuintes - IRM1";
        case 2:
            return "Criando banco das fontes pagadoras - IRM2";
        case 3:
            return "Criando banco dos Dependentes - IRM3";
        case 4:
            return "Criando banco dos Bens - IRM4";
        case 5:
            return "Criando banco das Dividas e Onus - IRM5";
        case 6:
            return "Criando banco de Pagamentos efetuados - IRM6.DBF";
        case 7:
            return "Criando banco Ganho de capital. IRM7 ";
        case 8:
            return "Criando auxiliar de Ganho de capital - IRM8)";
        case 9:
            return "Criando o banco de cadastro - IRM9";
        case 10:
            return "Criando o banco da Atividade rural - IRM10";
        case 11:
            return "Criando o banco das Despesas - IRM11";
        case 12:
            return "Criando banco dos Bens - IRM12";
        case 13:
            return "Criando banco das Dividas - IRM13";
        case 14:
            return "Criando o banco dos Lancamentos - IRM14";
        case 15:
            return "Criando banco dos Imoveis - IRM15";
        case 17:
            return "Criando IMP17.DBF";
        case 50:
            return "Criando o banco dos Diretórios - DIRETOR"_cp;
        default:
            return "";
    }
}

std::optional<NewestField> newestField(int number) {
    switch (number) {
        case 1:
            return NewestField{"TIPO_LANCA", Type::Numeric};
        case 2:
            return NewestField{"NUM_DOC", Type::Character};
        case 9:
            return NewestField{"NOVO", Type::Character};
        case 10:
            return NewestField{"I4_01", Type::Numeric};
        case 14:
            return NewestField{"NROIMO", Type::Numeric};
        case 15:
            return NewestField{"PERC_CONTR", Type::Numeric};
        default:
            return std::nullopt;
    }
}

}  // namespace kdx2::store
